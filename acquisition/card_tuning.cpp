#include "acquisition/card_tuning.h"

#include "cardlib/zelcard.h"

namespace orv {

long tuneCableChannel(int frequencyKHz, int symbolRateK, int qamIndex) {
    return ZelInitCard(1, 0, 0, 0, 6000000, static_cast<unsigned long>(frequencyKHz),
                       static_cast<unsigned long>(symbolRateK), static_cast<unsigned>(qamIndex), 0);
}

}  // namespace orv

// The QAM scan's tuner on capture card 0: the CABLE input initialised at one frequency, symbol
// rate and QAM mode, as the interface settings dialog's detector does it.
#pragma once

namespace orv {

long tuneCableChannel(int frequencyKHz, int symbolRateK, int qamIndex);

}  // namespace orv

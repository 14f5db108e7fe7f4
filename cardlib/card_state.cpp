#include "cardlib/card_state.h"

#include "cardlib/zelcard.h"
#include "platform/devio/event.h"

Infifo ZelReceiveFifo[10] = {};
Infifo ZelTransmitFifo[10] = {};
std::uint32_t* BitRateFifo[10] = {};
CardEvent hZelCardEvent[10] = {};
long lZelCardNumber = 0;

namespace orv::zel {

LibraryState& state() {
    static LibraryState s;
    return s;
}

bool isCardOpen(unsigned card) {
    if (!validCard(card)) return false;
    const devio::Handle h = state().cards[card].handle;
    return h != 0 && h != devio::kInvalidHandle;
}

void resetLibraryState() {
    LibraryState& s = state();
    for (unsigned card = 0; card < kCardCount; ++card) {
        const devio::Handle h = s.cards[card].handle;
        if (h != 0 && h != devio::kInvalidHandle) devio::closeHandle(h);
        for (ZelHandle& event : hZelCardEvent[card].slot) {
            if (event != 0) devio::closeHandle(event);
            event = 0;
        }
        ZelReceiveFifo[card] = {};
        ZelTransmitFifo[card] = {};
        BitRateFifo[card] = nullptr;
    }
    s = LibraryState{};
}

}  // namespace orv::zel

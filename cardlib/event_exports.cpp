// Waiting on a card's events from outside the library: the handles of hZelCardEvent are tokens of
// the library's own device layer, so a program gets a pollable descriptor or a wait instead.
#include <fcntl.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "cardlib/card_state.h"
#include "cardlib/zelcard.h"
#include "platform/devio/event.h"

namespace orv::zel {
namespace {

constexpr unsigned kEventSlots = 6;

std::shared_ptr<devio::Event> slotEvent(unsigned slot, unsigned card) {
    return devio::eventFromHandle(hZelCardEvent[card].slot[slot]);
}

}  // namespace
}  // namespace orv::zel

using namespace orv::zel;

long ZelGetCardEventFd(unsigned slot, unsigned card) {
    if (!validCard(card) || slot >= kEventSlots) return -1;
    const auto event = slotEvent(slot, card);
    if (!event) return -2;
    const int shared = event->descriptor();
    if (shared < 0) return -3;
    // The caller's own copy: it stays valid (never signalled again) when the library replaces or
    // closes the event, and the caller closes it when it likes.
    const int own = ::fcntl(shared, F_DUPFD_CLOEXEC, 0);
    return own < 0 ? -3 : own;
}

long ZelWaitCardEvent(unsigned slot, unsigned long timeoutMs, unsigned card) {
    if (!validCard(card) || slot >= kEventSlots) return -1;
    const auto event = slotEvent(slot, card);
    if (!event) return -2;
    const std::uint32_t timeout = timeoutMs >= orv::devio::kInfinite
                                      ? orv::devio::kInfinite
                                      : static_cast<std::uint32_t>(timeoutMs);
    return event->wait(timeout) ? 0 : 1;
}

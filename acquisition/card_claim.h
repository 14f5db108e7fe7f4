// Who uses capture card 0 in this process: online analysis, the QAM scan and a recording each
// initialise the card and must never run together. Each takes the claim before it touches the
// card and releases it when done; a second user is refused with the name of the first.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace orv {

enum class CardUser { None = 0, OnlineAnalysis, QamScan, Recording };

constexpr std::string_view cardUserName(CardUser user) {
    switch (user) {
        case CardUser::OnlineAnalysis:
            return "online analysis";
        case CardUser::QamScan:
            return "the QAM scan";
        case CardUser::Recording:
            return "a recording";
        case CardUser::None:
            break;
    }
    return "nobody";
}

class CardClaim {
  public:
    // The claim for `user`, or nullopt while another user holds the card (see holder()).
    static std::optional<CardClaim> take(CardUser user) {
        int expected = 0;
        if (!slot().compare_exchange_strong(expected, static_cast<int>(user))) return std::nullopt;
        return CardClaim(user);
    }
    static CardUser holder() { return static_cast<CardUser>(slot().load()); }
    // The message for a user that was refused.
    static std::string busyMessage() {
        return "card 0 is busy with " + std::string(cardUserName(holder())) +
               ": it cannot be used until that ends";
    }

    CardClaim(CardClaim&& other) noexcept : user_(std::exchange(other.user_, CardUser::None)) {}
    CardClaim& operator=(CardClaim&& other) noexcept {
        if (this != &other) {
            release();
            user_ = std::exchange(other.user_, CardUser::None);
        }
        return *this;
    }
    CardClaim(const CardClaim&) = delete;
    CardClaim& operator=(const CardClaim&) = delete;
    ~CardClaim() { release(); }

    void release() {
        if (user_ != CardUser::None) slot().store(0);
        user_ = CardUser::None;
    }

  private:
    explicit CardClaim(CardUser user) : user_(user) {}
    static std::atomic<int>& slot() {
        static std::atomic<int> holder{0};
        return holder;
    }

    CardUser user_;
};

}  // namespace orv

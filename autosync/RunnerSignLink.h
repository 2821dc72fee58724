#pragma once
// A SignLink that hands every call of another SignLink to a transaction runner (see
// comm/SendActions.h), so that a window can run the blocking serial calls off its thread while
// it keeps repainting, and knows when one is in flight.
//
// While the runner waits for a call it may let events run on the caller's thread (timer ticks,
// repaints). Such an event must not start another call on the same link: the serial line and
// the mode's message buffer belong to the call in flight. InTransaction() tells the event
// handlers so; a call made anyway is refused with 1 and never reaches the wrapped link.

#include "autosync/Unitautosync.h"
#include "comm/SendActions.h"

#include <utility>

class RunnerSignLink final : public SignLink {
public:
    // `inner` is borrowed and must outlive this object. An empty `runner` runs calls inline.
    explicit RunnerSignLink(SignLink& inner, TransactionRunner runner = {})
        : inner_(inner), runner_(std::move(runner)) {}

    void SetRunner(TransactionRunner runner) { runner_ = std::move(runner); }

    // True from the start of a call until the runner has returned its result.
    bool InTransaction() const { return inFlight_; }

    [[nodiscard]] int Open(const std::string& portName) override {
        return Run([&] { return inner_.Open(portName); });
    }
    int Close() override {
        return Run([&] { return inner_.Close(); });
    }
    [[nodiscard]] int SyncClock(std::uint16_t address) override {
        return Run([&] { return inner_.SyncClock(address); });
    }
    [[nodiscard]] int SendMessageSlot(std::uint16_t address, int slot,
                                      const std::uint8_t* message) override {
        return Run([&] { return inner_.SendMessageSlot(address, slot, message); });
    }

private:
    template <typename Call> int Run(Call call) {
        if (inFlight_) {
            return 1;
        }
        inFlight_ = true;
        const int result = runner_ ? runner_(std::function<int()>(call)) : call();
        inFlight_ = false;
        return result;
    }

    SignLink& inner_;
    TransactionRunner runner_;
    bool inFlight_ = false;
};

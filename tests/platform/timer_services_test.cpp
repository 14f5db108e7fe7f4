// The timer services: the manual clock of the tests (timers in due order, callbacks that arm and
// kill, threads whose waits end in order with the timers) and the headless event loop (timers
// and posted work from other threads, quit).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/manual_timer_service.h"

namespace orv {
namespace {

using std::chrono::milliseconds;

struct Fired {
    std::string name;
    milliseconds at;
    bool operator==(const Fired&) const = default;
};

// Due order, ties in the order armed, re-arming, killing, and callbacks that arm and kill.
TEST(ManualTimerService, TimersFireInDueOrderAndCallbacksMayArmAndKill) {
    ManualTimerService clock;
    std::vector<Fired> fired;
    auto record = [&](std::string name) {
        return [&fired, &clock, name] { fired.push_back({name, clock.now()}); };
    };
    clock.arm(1, milliseconds(300), record("A"));
    clock.arm(2, milliseconds(100), [&] {
        fired.push_back({"B", clock.now()});
        clock.kill(5);
        clock.arm(6, milliseconds(50), record("F"));
        clock.arm(2, milliseconds(500), record("B again"));
    });
    clock.arm(3, milliseconds(100), record("C"));
    clock.arm(4, milliseconds(200), record("D too early"));
    clock.arm(4, milliseconds(400), record("D"));  // re-armed: only the last one counts
    clock.arm(5, milliseconds(250), record("E"));
    clock.post(record("posted"));

    clock.advance(milliseconds(99));
    EXPECT_EQ(fired, (std::vector<Fired>{{"posted", milliseconds(0)}}));
    clock.advance(milliseconds(901));
    EXPECT_EQ(fired, (std::vector<Fired>{{"posted", milliseconds(0)},
                                         {"B", milliseconds(100)},
                                         {"C", milliseconds(100)},
                                         {"F", milliseconds(150)},
                                         {"A", milliseconds(300)},
                                         {"D", milliseconds(400)},
                                         {"B again", milliseconds(600)}}));
    EXPECT_EQ(clock.now(), milliseconds(1000));
    EXPECT_FALSE(clock.isArmed(2));
}

// A thread waiting on the clock wakes at each of its deadlines, and what it does there is done
// before a timer of the same instant looks; a flag set by a timer ends its wait at once.
TEST(ManualTimerService, ThreadWaitsEndInOrderWithTheTimers) {
    ManualTimerService clock;
    std::atomic<bool> stop{false};
    std::vector<milliseconds> wakes;  // written by the thread while the clock stands still
    std::atomic<int> count{0};
    clock.threadStarting();
    std::thread worker([&] {
        while (!clock.waitFor(stop, milliseconds(300))) {
            wakes.push_back(clock.now());
            ++count;
        }
        wakes.push_back(clock.now());
        clock.threadEnding();
    });
    std::vector<int> seenByTimer;
    clock.arm(1, milliseconds(600), [&] { seenByTimer.push_back(count.load()); });
    clock.arm(2, milliseconds(750), [&] {
        stop = true;
        clock.notify();
    });
    clock.advance(milliseconds(2000));
    worker.join();
    EXPECT_EQ(seenByTimer, std::vector<int>{2});
    EXPECT_EQ(wakes,
              (std::vector<milliseconds>{milliseconds(300), milliseconds(600), milliseconds(750)}));
}

// Timers armed and work posted from another thread run on the loop's thread, in due order (ties
// in the order armed), posted work first; a killed timer never runs; quit ends run().
TEST(EventLoop, RunsTimersAndPostedWorkFromOtherThreadsUntilQuit) {
    EventLoop loop;
    std::vector<std::string> order;  // only the loop's thread writes it
    const std::thread::id loopThread = std::this_thread::get_id();
    bool allOnLoop = true;
    auto record = [&](std::string name) {
        return [&, name] {
            allOnLoop = allOnLoop && std::this_thread::get_id() == loopThread;
            order.push_back(name);
        };
    };
    // A far timer keeps the loop asleep until the other thread's arm wakes it.
    loop.arm(9, milliseconds(60'000), record("far"));
    std::thread other([&] {
        loop.arm(1, milliseconds(30), [&, r = record("last")] {
            r();
            loop.quit();
        });
        loop.arm(2, milliseconds(10), record("first"));
        loop.arm(3, milliseconds(10), record("second"));
        loop.arm(4, milliseconds(5), record("killed"));
        loop.kill(4);
        loop.post(record("posted"));
    });
    other.join();
    loop.run();
    EXPECT_TRUE(allOnLoop);
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "first", "second", "last"}));

    // A quit before run() makes it return at once; the loop can run again afterwards.
    loop.quitFromSignal();
    loop.run();
    loop.post([&] { loop.quit(); });
    loop.run();
    EXPECT_EQ(order.size(), 4u);
}

}  // namespace
}  // namespace orv

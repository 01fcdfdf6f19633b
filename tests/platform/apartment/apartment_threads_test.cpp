// The apartment with real threads: concurrent posters, waiting with a
// time-out, coalesced wake-ups, and posting to an apartment whose thread has
// ended.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "platform/apartment/apartment.h"

namespace tarnel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ApartmentThreads, PostsFromSeveralThreadsArriveInOrderPerPoster) {
  OnFreshThread([] {
    constexpr int kPosters = 4;
    constexpr int kPerPoster = 2000;
    std::shared_ptr<Apartment> apartment = Apartment::CurrentShared();
    std::map<int, std::vector<int>> seen;  // touched only on the apartment thread
    int total = 0;
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
      posters.emplace_back([&, p] {
        for (int i = 0; i < kPerPoster; ++i)
          ASSERT_TRUE(apartment->Post([&, p, i] {
            seen[p].push_back(i);
            ++total;
          }));
      });
    }
    const bool done = apartment->RunUntil([&] { return total == kPosters * kPerPoster; }, milliseconds(30000));
    for (auto& poster : posters) poster.join();
    ASSERT_TRUE(done) << total << " messages ran";
    for (int p = 0; p < kPosters; ++p) {
      ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kPerPoster));
      for (int i = 0; i < kPerPoster; ++i) ASSERT_EQ(seen[p][i], i) << "poster " << p;
    }
    EXPECT_EQ(apartment->PendingCount(), 0u);
  });
}

TEST(ApartmentThreads, WakeUpsCoalesceButMessagesDoNot) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    std::atomic<int> wakeUps{0};
    apartment.SetWakeObserver([&] { ++wakeUps; });
    std::thread poster([&] {
      for (int i = 0; i < 100; ++i) apartment.Post([] {});
    });
    poster.join();
    EXPECT_EQ(wakeUps.load(), 1);  // nobody looked at the queue in between
    EXPECT_EQ(apartment.ProcessPending(), 100u);
    apartment.Post([] {});
    EXPECT_EQ(wakeUps.load(), 2);  // after the owner looked, a post wakes again
    apartment.SetWakeObserver(nullptr);
    apartment.ProcessPending();
    apartment.Post([] {});
    EXPECT_EQ(wakeUps.load(), 2);
    apartment.ProcessPending();
  });
}

TEST(ApartmentThreads, WaitWithNothingPostedLastsTheTimeOut) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    const auto start = Clock::now();
    EXPECT_FALSE(apartment.WaitAndProcess(milliseconds(150)));
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(150));
    EXPECT_LT(elapsed, milliseconds(2000));
  });
}

TEST(ApartmentThreads, WaitRunsMessagesAsTheyArriveAndStillLastsTheTimeOut) {
  OnFreshThread([] {
    std::shared_ptr<Apartment> apartment = Apartment::CurrentShared();
    Clock::time_point posted{};
    Clock::time_point ran{};
    std::thread poster([&] {
      std::this_thread::sleep_for(milliseconds(50));
      posted = Clock::now();
      apartment->Post([&] { ran = Clock::now(); });
    });
    const auto start = Clock::now();
    EXPECT_TRUE(apartment->WaitAndProcess(milliseconds(1500)));
    const auto end = Clock::now();
    poster.join();
    EXPECT_GE(end - start, milliseconds(1500));
    ASSERT_NE(ran, Clock::time_point{});
    EXPECT_LT(ran - posted, milliseconds(1000)) << "the message waited for the time-out";
  });
}

TEST(ApartmentThreads, ZeroTimeOutStillRunsWhatIsWaiting) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    bool ran = false;
    apartment.Post([&] { ran = true; });
    EXPECT_TRUE(apartment.WaitAndProcess(milliseconds(0)));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(apartment.WaitAndProcess(milliseconds(-5)));
  });
}

TEST(ApartmentThreads, RunUntilReturnsAsSoonAsTheConditionHolds) {
  OnFreshThread([] {
    std::shared_ptr<Apartment> apartment = Apartment::CurrentShared();
    bool finished = false;
    std::thread worker([&] {
      std::this_thread::sleep_for(milliseconds(30));
      apartment->Post([&] { finished = true; });
    });
    const auto start = Clock::now();
    // The longest possible time-out must not overflow the clock.
    EXPECT_TRUE(apartment->RunUntil([&] { return finished; }, milliseconds::max()));
    EXPECT_LT(Clock::now() - start, milliseconds(5000));
    worker.join();
  });
}

TEST(ApartmentThreads, RunUntilGivesUpAtTheTimeOut) {
  OnFreshThread([] {
    const auto start = Clock::now();
    EXPECT_FALSE(Apartment::Current().RunUntil([] { return false; }, milliseconds(100)));
    EXPECT_GE(Clock::now() - start, milliseconds(100));
  });
}

TEST(ApartmentThreads, PostingToAnEndedThreadDropsTheMessage) {
  std::shared_ptr<Apartment> apartment;
  std::thread::id ownerId;
  std::thread::id destroyedOn;
  bool waitingRan = false;
  // Notes the thread it is destroyed on.
  struct NoteThread {
    explicit NoteThread(std::thread::id* w) : where(w) {}
    NoteThread(const NoteThread&) = delete;
    ~NoteThread() { *where = std::this_thread::get_id(); }
    std::thread::id* where;
  };
  std::thread owner([&] {
    ownerId = std::this_thread::get_id();
    apartment = Apartment::CurrentShared();
    // Left waiting when the thread ends: destroyed there, never run.
    auto note = std::make_shared<NoteThread>(&destroyedOn);
    apartment->Post([&waitingRan, note] { waitingRan = true; });
  });
  owner.join();
  EXPECT_FALSE(waitingRan);
  EXPECT_EQ(destroyedOn, ownerId);
  EXPECT_EQ(apartment->PendingCount(), 0u);

  auto captured = std::make_shared<int>(7);
  bool lateRan = false;
  EXPECT_FALSE(apartment->Post([&lateRan, captured] { lateRan = true; }));
  EXPECT_EQ(captured.use_count(), 1) << "a refused message must be released";
  EXPECT_FALSE(lateRan);
}

TEST(ApartmentThreads, EveryAcceptedMessageRunsOrIsDiscardedWhenTheThreadEndsMidStream) {
  std::atomic<int> accepted{0};
  std::atomic<int> created{0};
  std::atomic<int> released{0};
  std::atomic<int> ran{0};
  struct Token {
    explicit Token(std::atomic<int>* r) : released(r) {}
    Token(const Token&) = delete;
    ~Token() { ++*released; }
    std::atomic<int>* released;
  };
  std::promise<std::shared_ptr<Apartment>> handOver;
  std::atomic<bool> stop{false};
  std::thread owner([&] {
    handOver.set_value(Apartment::CurrentShared());
    Apartment::Current().WaitAndProcess(milliseconds(100));
  });
  std::shared_ptr<Apartment> apartment = handOver.get_future().get();
  std::vector<std::thread> posters;
  for (int p = 0; p < 3; ++p) {
    posters.emplace_back([&] {
      while (!stop) {
        auto token = std::make_shared<Token>(&released);
        ++created;
        if (apartment->Post([&ran, token] { ++ran; })) ++accepted;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
    });
  }
  owner.join();  // the apartment closes while the posters keep going
  std::this_thread::sleep_for(milliseconds(20));
  stop = true;
  for (auto& poster : posters) poster.join();
  EXPECT_GT(accepted.load(), 0);
  EXPECT_LE(ran.load(), accepted.load());
  EXPECT_LT(accepted.load(), created.load()) << "posts after the thread ended must be refused";
  EXPECT_FALSE(apartment->Post([] {}));
  EXPECT_EQ(apartment->PendingCount(), 0u);
  // Every token, whether its message ran, was discarded or refused, is gone.
  apartment.reset();
  EXPECT_EQ(released.load(), created.load());
}

}  // namespace
}  // namespace tarnel

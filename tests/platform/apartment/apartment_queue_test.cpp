// Behaviour of one apartment's queue on its own thread: what a "run what is
// waiting" call runs, nested processing, messages that throw, and misuse
// from a thread that does not own the apartment.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/apartment/apartment.h"

namespace tarnel {
namespace {

// Each test runs on a thread of its own, so that it starts with a fresh,
// empty apartment regardless of what earlier tests left behind.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ApartmentQueue, RunsWaitingMessagesOnceInPostOrder) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    std::vector<int> ran;
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(apartment.Post([&ran, i] { ran.push_back(i); }));
    EXPECT_EQ(apartment.PendingCount(), 3u);
    EXPECT_EQ(apartment.ProcessPending(), 3u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(apartment.ProcessPending(), 0u);
    EXPECT_EQ(ran.size(), 3u);
  });
}

TEST(ApartmentQueue, MessagesPostedWhileRunningWaitForTheNextCall) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    int reposts = 0;
    // A message that posts itself again must not make one call run forever.
    std::function<void()> again = [&] {
      if (++reposts < 5) apartment.Post(again);
    };
    apartment.Post(again);
    EXPECT_EQ(apartment.ProcessPending(), 1u);
    EXPECT_EQ(apartment.PendingCount(), 1u);
    EXPECT_EQ(apartment.ProcessPending(), 1u);
    EXPECT_EQ(reposts, 2);
  });
}

TEST(ApartmentQueue, NestedProcessingRunsEveryMessageExactlyOnce) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    std::vector<std::string> ran;
    std::size_t nestedCount = 0;
    apartment.Post([&] {
      ran.push_back("A");
      apartment.Post([&] { ran.push_back("D"); });  // waiting when the nested call starts
      nestedCount = apartment.ProcessPending();
    });
    apartment.Post([&] {
      ran.push_back("B");
      apartment.Post([&] { ran.push_back("E"); });  // posted after both calls started
    });
    apartment.Post([&] { ran.push_back("C"); });

    EXPECT_EQ(apartment.ProcessPending(), 1u);  // only A: B and C ran inside A
    EXPECT_EQ(nestedCount, 3u);                 // B, C, D
    EXPECT_EQ(ran, (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(apartment.PendingCount(), 1u);
    EXPECT_EQ(apartment.ProcessPending(), 1u);
    EXPECT_EQ(ran.back(), "E");
  });
}

TEST(ApartmentQueue, ThrowingMessagesAreReportedAndTheQueueGoesOn) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    std::vector<std::string> reports;
    apartment.SetErrorHandler([&](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        reports.push_back(e.what());
      } catch (...) {
        reports.push_back("non-standard");
      }
    });
    bool laterRan = false;
    apartment.Post([] { throw std::runtime_error("boom"); });
    apartment.Post([] { throw 42; });
    apartment.Post([&] { laterRan = true; });
    EXPECT_EQ(apartment.ProcessPending(), 3u);
    EXPECT_TRUE(laterRan);
    EXPECT_EQ(reports, (std::vector<std::string>{"boom", "non-standard"}));
  });
}

TEST(ApartmentQueue, DefaultAndFailingErrorHandlersWriteToStandardError) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    testing::internal::CaptureStderr();
    apartment.Post([] { throw std::runtime_error("first failure"); });
    apartment.ProcessPending();
    apartment.SetErrorHandler([](std::exception_ptr) { throw std::logic_error("handler broke"); });
    apartment.Post([] { throw std::runtime_error("second failure"); });
    apartment.ProcessPending();
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("first failure"), std::string::npos) << written;
    EXPECT_NE(written.find("second failure"), std::string::npos) << written;
  });
}

TEST(ApartmentQueue, EmptyMessageIsRefused) {
  OnFreshThread([] {
    Apartment& apartment = Apartment::Current();
    EXPECT_FALSE(apartment.Post(Apartment::Message{}));
    EXPECT_EQ(apartment.PendingCount(), 0u);
  });
}

TEST(ApartmentQueue, OwnerOnlyCallsFromAnotherThreadFail) {
  OnFreshThread([] {
    std::shared_ptr<Apartment> apartment = Apartment::CurrentShared();
    std::thread intruder([&] {
      auto expectWrongThread = [](const std::function<void()>& call) {
        try {
          call();
          ADD_FAILURE() << "no error from a foreign thread";
        } catch (const ApartmentError& e) {
          EXPECT_EQ(e.hr(), kApartmentWrongThread);
          EXPECT_NE(std::string(e.what()).find("does not own"), std::string::npos);
        }
      };
      expectWrongThread([&] { apartment->ProcessPending(); });
      expectWrongThread([&] { apartment->WaitAndProcess(std::chrono::milliseconds(0)); });
      expectWrongThread([&] { apartment->RunUntil([] { return true; }, std::chrono::milliseconds(0)); });
      expectWrongThread([&] { apartment->SetErrorHandler(nullptr); });
      EXPECT_FALSE(apartment->IsOwnerThread());
      EXPECT_TRUE(apartment->Post([] {}));  // posting is what other threads may do
    });
    intruder.join();
    EXPECT_TRUE(apartment->IsOwnerThread());
    EXPECT_EQ(apartment->ProcessPending(), 1u);
  });
}

}  // namespace
}  // namespace tarnel

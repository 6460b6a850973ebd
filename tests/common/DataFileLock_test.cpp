#include "common/DataFileLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

// A second holder is told the file is busy. A waiter that locked the file the
// holder then removed must lock the new one, or a third program would get a lock
// of its own beside it. The lock file goes with the last lock.
TEST(DataFileLock, BusyWaitingAndUncreatableLocks)
{
    // The data file itself need not exist.
    const std::string data =
        (fs::temp_directory_path() / ("lock_test_" + std::to_string(::getpid()) + ".csv")).string();
    DataFileLock holder, second, waiter, third;
    ASSERT_EQ(holder.Take(data, false), DataFileLock::Outcome::Taken);
    EXPECT_TRUE(fs::exists(data + ".lock"));
    EXPECT_EQ(second.Take(data, false), DataFileLock::Outcome::Busy);
    EXPECT_FALSE(second.Held());
    std::promise<void> waiting;
    std::thread t([&] {
        EXPECT_EQ(waiter.Take(data, true, nullptr, [&] { waiting.set_value(); }), DataFileLock::Outcome::Taken);
    });
    waiting.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it block in flock
    holder.Release();
    t.join();
    EXPECT_EQ(third.Take(data, false), DataFileLock::Outcome::Busy);
    waiter.Release();
    EXPECT_FALSE(fs::exists(data + ".lock"));
    EXPECT_EQ(second.Take(data, false), DataFileLock::Outcome::Taken);
    // A lock that cannot be made names the path and the reason.
    std::string error;
    EXPECT_EQ(third.Take("/nonexistent-folder/data.csv", false, &error), DataFileLock::Outcome::Failed);
    EXPECT_EQ(error, "Cannot create the lock file /nonexistent-folder/data.csv.lock: No such file or directory");
}

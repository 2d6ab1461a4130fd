// Appending JSON lines, as the journal and tarv-cli's --log are written: every line on a line of
// its own, an append that fails leaves the file as it was, a second writer waits for the first,
// and what is not a regular file just gets the line (or, for the journal, nothing).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "commands/json_lines.h"
#include "platform/durable_files.h"
#include "platform/virtual_host.h"
#include "support/held_lock.h"
#include "support/text_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

using namespace commands;

namespace {

using platform::AppendTarget;

class JsonLinesTest : public ::testing::Test {
protected:
    JsonLinesTest()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() / (std::string("tarv-lines-") + test->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        file_ = folder_ / "lines.jsonl";
    }
    ~JsonLinesTest() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path Given(const std::string& content) const
    {
        std::ofstream(file_, std::ios::binary) << content;
        return file_;
    }

    std::filesystem::path folder_;
    std::filesystem::path file_;
};

TEST_F(JsonLinesTest, EveryLineStartsOnALineOfItsOwn)
{
    const std::string line = R"({"serial":"AB1234"})";
    struct Case {
        const char* what;
        std::optional<std::string> before;  // none: no file yet
        std::string after;
    };
    const Case cases[] = {
        {"no file yet", std::nullopt, line + "\n"},
        {"an empty file", "", line + "\n"},
        {"whole lines", "{}\n", "{}\n" + line + "\n"},
        {"a torn last line", "{}\n{\"ti", "{}\n{\"ti\n" + line + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const AppendTarget target : {AppendTarget::AnyFile, AppendTarget::RegularFileOnly}) {
            std::filesystem::remove(file_);
            if (c.before) Given(*c.before);
            EXPECT_EQ(AppendLine(file_.string(), line, target), "");
            EXPECT_EQ(FileText(file_), c.after);
        }
    }
}

// The second appender waits for the first to let go, and then sees where the first left the file.
TEST_F(JsonLinesTest, AnAppendWaitsWhileAnotherWriterHoldsTheFile)
{
    Given("");
    std::atomic<bool> appended = false;
    std::string error = "not yet";
    std::thread second;
    {
        platform::AppendFile first(file_, AppendTarget::RegularFileOnly);
        ASSERT_EQ(first.error(), "");
        second = std::thread([&] {
            error = AppendLine(file_.string(), "second");
            appended = true;
        });
        // However slowly the machine runs, the second cannot get in while the first holds the file.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(appended);
        EXPECT_EQ(FileText(file_), "");
        ASSERT_EQ(first.Write("first, torn"), "");
    }
    second.join();
    EXPECT_EQ(error, "");
    EXPECT_EQ(FileText(file_), "first, torn\nsecond\n");
}

// A lock that another program does not let go is waited for ten seconds at most (here on a
// virtual clock), and the wait is told once, after two; a wait that is given up ends
// at once. Either way the file is left as it was.
TEST_F(JsonLinesTest, AnotherProgramsLockIsWaitedForTenSecondsAtMostAndToldOnce)
{
    Given("{}\n");
    HeldLock held(file_);
    ASSERT_TRUE(held.Holding());
    platform::VirtualHost clock;
    struct Case {
        const char* what;
        uint64_t givenUpAtMs;  // 0: never
        std::string error;
        uint64_t endsAtMs;
    };
    const Case cases[] = {
        {"waited out", 0, file_.string() + ": another program has held its lock for 10 s", 10'000},
        {"given up", 3'000, file_.string() + ": the wait for another program's lock was given up", 3'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t start = clock.NowMicros();
        const auto msSinceStart = [&] { return (clock.NowMicros() - start) / 1000; };
        std::vector<std::pair<uint64_t, std::string>> told;
        platform::LockWait wait;
        wait.told = [&](const std::string& what) { told.emplace_back(msSinceStart(), what); };
        wait.givenUp = [&] { return c.givenUpAtMs != 0 && msSinceStart() >= c.givenUpAtMs; };
        wait.clock = &clock;

        EXPECT_EQ(AppendLine(file_.string(), "{}", AppendTarget::RegularFileOnly, wait), c.error);
        EXPECT_GE(msSinceStart(), c.endsAtMs);
        EXPECT_LT(msSinceStart(), c.endsAtMs + 100);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].second, "waiting for " + file_.string() + ": another program holds its lock (up to 10 s)");
        EXPECT_GE(told[0].first, 2'000u);
        EXPECT_LT(told[0].first, 2'100u);
        EXPECT_EQ(FileText(file_), "{}\n");
    }
}

#ifndef _WIN32
// A child process with a file-size limit (and SIGXFSZ ignored): its write past the limit fails
// with EFBIG, as it would on a full disk.
std::string AppendWithSizeLimit(const std::filesystem::path& path, const std::string& line, rlim_t limit)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        const std::string error = AppendLine(path.string(), line, AppendTarget::RegularFileOnly);
        const ssize_t told = write(pipeFds[1], error.data(), error.size());
        _exit(told == static_cast<ssize_t>(error.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string error;
    char buffer[256];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, static_cast<size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return error;
}

TEST_F(JsonLinesTest, AnAppendThatDoesNotFitLeavesTheFileAsItWasAndTheNextLineIsWhole)
{
    constexpr rlim_t kLimit = 4096;
    const std::string line(200, 'x');
    for (const std::string& last : {std::string("{}\n"), std::string("{\"torn")}) {
        SCOPED_TRACE(last);
        const std::string before = std::string(kLimit - 100 - last.size(), ' ') + last;
        Given(before);

        const std::string error = AppendWithSizeLimit(file_, line, kLimit);
        EXPECT_NE(error.find("File too large"), std::string::npos) << error;
        EXPECT_EQ(FileText(file_), before);

        EXPECT_EQ(AppendLine(file_.string(), line, AppendTarget::RegularFileOnly), "");
        EXPECT_EQ(FileText(file_), before + (last.ends_with("\n") ? "" : "\n") + line + "\n");
    }
}

// Neither a pipe nor a device can be locked, cut back or asked for its last byte: a --log there gets
// the line as it is, the journal refuses it.
TEST_F(JsonLinesTest, WhatIsNotARegularFileGetsThePlainLineOrNothing)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const std::string pipePath = "/dev/fd/" + std::to_string(pipeFds[1]);
    EXPECT_EQ(AppendLine(pipePath, "{}"), "");
    char got[8] = {};
    EXPECT_EQ(read(pipeFds[0], got, sizeof got), 3);
    EXPECT_EQ(std::string(got), "{}\n");
    EXPECT_EQ(AppendLine("/dev/null", "{}"), "");

    for (const std::string& path : {pipePath, std::string("/dev/null"), std::string("/dev/full")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(AppendLine(path, "{}", AppendTarget::RegularFileOnly), path + ": not a regular file");
        EXPECT_EQ(CheckAppendable(path, AppendTarget::RegularFileOnly), path + ": not a regular file");
    }
    EXPECT_EQ(AppendLine("/dev/full", "{}"), "/dev/full: No space left on device");
    close(pipeFds[0]);
    close(pipeFds[1]);
}
#endif

}  // namespace

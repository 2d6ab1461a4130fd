// The answer fuzzer as regular tests: a short corpus of the cases that matter, and a seeded run
// of random inputs that stays the same from run to run.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fuzz/answer_fuzzer.h"

namespace {

using Input = std::vector<uint8_t>;

// Input layout: tick offset, open-port flag, procedure (0 ping, 1 block read, 2 block write,
// 3 image read, 4 record write, 5 blink, 6 scan), its arguments, then per request: mode
// (1 discard fails, 2 queue query fails after N polls, 4 reads short by N), piece count, and per
// piece: delay/3 ms, length, bytes.
struct CorpusCase {
    const char* what;
    Input input;
};

Input ImageAnswer(int bytes, uint8_t delay = 0)
{
    Input answer = {0x00, 1, delay, static_cast<uint8_t>(0x80 | (bytes / 2))};
    for (int i = 0; i < bytes; ++i) answer.push_back(static_cast<uint8_t>(i));
    return answer;
}

Input Concat(std::initializer_list<Input> parts)
{
    Input all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<CorpusCase> Corpus()
{
    return {
        {"ping answered by one byte", {0, 1, 0, 0x00, 1, 10, 1, 4}},
        {"ping answered by two bytes in two pieces", {0, 1, 0, 0x00, 2, 1, 1, 4, 1, 1, 9}},
        {"ping answer in the poll that passes the deadline", {0, 1, 0, 0x00, 1, 17, 1, 4}},
        {"ping without port", {0, 0, 0}},
        {"block read whose queue query fails at once, stale count zero",
         {0, 1, 1, 73, 0, 0x02, 0, 1, 0, 4, 1, 2, 3, 4}},
        {"block read of 4 that reads short", {0, 1, 1, 73, 4, 0x04, 2, 1, 0, 4, 1, 2, 3, 4}},
        {"block read of 255 bytes", Concat({{0, 1, 1, 0, 255, 0x00, 2, 0, 0xFF}, Input(254, 7), {0, 1, 7}})},
        {"block read of 0 bytes", {0, 1, 1, 10, 0, 0x00, 0}},
        {"write of 9 bytes is not sent", {0, 1, 2, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}},
        {"write status that a short read swallows", {0, 1, 2, 1, 0x42, 0, 0x04, 1, 1, 0, 1, 1}},
        {"write status 0 after stray discard failure", {0, 1, 2, 1, 0x42, 8, 0x01, 1, 0, 1, 0}},
        {"image read: 128 bytes at once", Concat({{0, 1, 3}, ImageAnswer(128)})},
        {"image read: 127 bytes", Concat({{0, 1, 3}, ImageAnswer(126), {0, 1, 0, 1, 9}})},
        {"image read: 129 bytes", Concat({{0, 1, 3}, ImageAnswer(128), {0, 1, 0, 1, 9}})},
        {"image read: all 128 bytes late, after the first deadline", Concat({{0, 1, 3}, ImageAnswer(128, 200)})},
        {"image read with a failing queue query after 128 seen",
         Concat({{0, 1, 3, 0x02, 3, 1, 0, 0x80 | 64}, Input(128, 1), {0x04, 1, 0, 0}})},
        {"image read in 2-byte pieces", Concat({{0, 1, 3, 0x00, 4, 0, 2, 1, 1, 0, 2, 1, 1, 0, 2, 1, 1, 0, 2, 1, 1}})},
        {"record write refused at block 2", {0, 1, 4, 0, 1, 0, 1, 1, 0, 1, 0, 0}},
        {"record write with read-back short",
         Concat({{0, 1, 4, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 21}, Input(21, 0)})},
        {"blink that never hears back", {0, 1, 5}},
        {"scan where the adapter answers 3", {0, 0, 6, 0, 1, 0, 1, 3}},
        {"scan where the adapter answers 200", {0, 0, 6, 0, 1, 0, 1, 200}},
        {"empty input", {}},
    };
}

TEST(AnswerFuzzCorpus, EveryCaseKeepsTheChecks)
{
    for (const auto& c : Corpus()) EXPECT_EQ(RunAnswerFuzzCase(c.input), std::nullopt) << c.what;
}

TEST(AnswerFuzzRandom, SeededInputsKeepTheChecks)
{
    std::mt19937 generator(20261210);
    std::uniform_int_distribution<int> length(0, 600);
    std::uniform_int_distribution<int> byte(0, 255);
    Input input;
    for (int run = 0; run < 20000; ++run) {
        input.resize(static_cast<size_t>(length(generator)));
        for (auto& b : input) b = static_cast<uint8_t>(byte(generator));
        const auto fault = RunAnswerFuzzCase(input);
        ASSERT_EQ(fault, std::nullopt) << "run " << run;
    }
}

}  // namespace

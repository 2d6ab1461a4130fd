// tarv-cli's commands on the virtual-clock host: options, captured output, a fixed time and a
// scratch file path for logs and backups.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "support/link_fixture.h"
#include "support/text_files.h"

// 2024-05-01T10:00:00Z
inline constexpr int64_t kCliTestNow = 1'714'557'600;

// A format-2 encoder of `product` with serial number `serial`.
inline eeprom::Image Encoder(const char* product, const char* serial)
{
    sim::ProductRecordSpec spec;
    spec.name = product;
    spec.serial = serial;
    return sim::Format2Image(spec);
}

class CliTest : public LinkTest {
protected:
    CliTest()
    {
        host.SetToday(kToday);
        context.dataFolder = DataFolder();
    }
    ~CliTest() override
    {
        std::error_code ignored;
        std::filesystem::remove(ScratchPath(), ignored);
        std::filesystem::remove_all(DataFolder(), ignored);
    }

    static cli::CliOptions Options(cli::Subcommand command, const std::string& port = "COM3")
    {
        cli::CliOptions options;
        options.command = command;
        options.port = port;
        return options;
    }

    // A file name of this test's own in the temporary folder; removed after the test.
    static std::filesystem::path ScratchPath()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::filesystem::temp_directory_path() /
               (std::string("tarv-cli-") + test->test_suite_name() + "-" + test->name() + ".tmp");
    }

    // The image store of this test: its own folder in the temporary folder, removed after it.
    static std::filesystem::path DataFolder() { return ScratchPath().string() + ".data"; }

    static constexpr int32_t kToday = 45413;  // 2024-05-01

    std::ostringstream out;
    std::ostringstream err;
    cli::RunContext context{out, err, [] { return kCliTestNow; }};
};

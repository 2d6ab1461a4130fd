// tarv-cli's command line: what each form asks for, and the one-line message with exit code 1
// for every form that is wrong, before any port is opened.
#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "commands/result_words.h"
#include "commands/settings_tables.h"

using namespace commands;

namespace {

cli::ParsedCommandLine Parse(std::vector<std::string> args)
{
    return cli::ParseCommandLine(args, "2.1.0.0");
}

TEST(CliArguments, ReadsEachSubcommandWithItsOptions)
{
    const auto ports = Parse({"ports", "--json"});
    ASSERT_TRUE(ports.options);
    EXPECT_EQ(ports.options->command, cli::Subcommand::Ports);
    EXPECT_TRUE(ports.options->json);

    const auto info = Parse({"info", "--port", "COM3"});
    ASSERT_TRUE(info.options);
    EXPECT_EQ(info.options->command, cli::Subcommand::Info);
    EXPECT_EQ(info.options->port, "COM3");
    EXPECT_FALSE(info.options->json);

    const auto backup = Parse({"backup", "enc.bin", "--force", "--port=ttyUSB0"});
    ASSERT_TRUE(backup.options);
    EXPECT_EQ(backup.options->command, cli::Subcommand::Backup);
    EXPECT_EQ(backup.options->backupFile, "enc.bin");
    EXPECT_TRUE(backup.options->force);
    EXPECT_EQ(backup.options->port, "ttyUSB0");

    const auto program = Parse({"program", "--resolution", "d50", "--edge-separation", "0.50", "--direction",
                                "Positive", "--each", "--count", "3", "--log", "line.jsonl"});
    ASSERT_TRUE(program.options) << program.text;
    const cli::CliOptions& o = *program.options;
    EXPECT_EQ(o.command, cli::Subcommand::Program);
    ASSERT_TRUE(o.settings.change.resolution && o.settings.change.edgeNanoseconds && o.settings.change.direction);
    EXPECT_EQ(kResolutionRows[o.settings.change.resolution->row].code, 0x14);
    EXPECT_EQ(o.settings.change.edgeNanoseconds, 500);
    EXPECT_EQ(*o.settings.change.direction, cli::Direction::Positive);
    EXPECT_TRUE(o.each);
    EXPECT_EQ(o.count, 3);
    EXPECT_EQ(o.logPath, "line.jsonl");

    // The short forms that programmers of this kind have taught their users.
    const auto shortForms = Parse({"program", "-p", "ttyUSB0", "-n", "-j", "-v", "--direction", "negative"});
    ASSERT_TRUE(shortForms.options) << shortForms.text;
    EXPECT_EQ(shortForms.options->port, "ttyUSB0");
    EXPECT_TRUE(shortForms.options->dryRun);
    EXPECT_TRUE(shortForms.options->json);
    EXPECT_TRUE(shortForms.options->verbose);
    const auto quiet = Parse({"info", "-q"});
    ASSERT_TRUE(quiet.options);
    EXPECT_TRUE(quiet.options->quiet);
}

TEST(CliArguments, WrongFormsEndWithExitCodeOneAndOneLineSayingWhat)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> saying;  // parts that the message must hold
    };
    const Case cases[] = {
        {{}, {"subcommand"}},
        {{"erase"}, {"erase"}},
        {{"info", "--bogus"}, {"--bogus"}},
        {{"program"}, {"at least one of --resolution, --edge-separation, --direction"}},
        {{"program", "--resolution", "D55"}, {"--resolution", "'D55'", "D50", "04B", "13B"}},
        {{"program", "--edge-separation", "3"}, {"--edge-separation", "'3'", "0.07", "0.5", "25"}},
        {{"program", "--edge-separation", "0.5us"}, {"'0.5us'"}},
        {{"program", "--edge-separation", "0.1205"}, {"'0.1205'"}},
        {{"program", "--direction", "up"}, {"--direction", "'up'", "positive, negative"}},
        {{"program", "--resolution", "D50", "--count", "2"}, {"--count", "--each"}},
        {{"program", "--resolution", "D50", "--each", "--count", "0"}, {"--count takes a whole number of 1 or more"}},
        {{"program", "--resolution", "D50", "--each", "--count", "-2"}, {"--count takes a whole number of 1 or more"}},
        {{"program", "--resolution", "D50", "--each", "--count", "abc"}, {"--count takes a whole number of 1 or more"}},
        {{"program", "--resolution", "D50", "--each", "--count", "99999999999999999999"},
         {"--count takes a whole number of 1 or more"}},
        {{"program", "--resolution", "D50", "-q", "-v"}, {"--quiet", "--verbose"}},
        {{"program", "--resolution", "D50", "--each", "--dry-run"}, {"--dry-run", "--each"}},
        {{"program", "--resolution", "D50", "--dry-run", "--log", "x"}, {"--dry-run", "--log"}},
        {{"backup"}, {"FILE"}},
        // history reads the journal: it has no port and no wire to trace.
        {{"history", "-p", "COM3"}, {"-p"}},
        {{"history", "--trace", "wire.txt"}, {"--trace"}},
    };
    for (const Case& c : cases) {
        const cli::ParsedCommandLine parsed = Parse(c.args);
        SCOPED_TRACE(parsed.text);
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.exitCode, 1);
        EXPECT_EQ(parsed.text.find('\n'), std::string::npos);
        EXPECT_EQ(parsed.text.rfind("tarv-cli: ", 0), 0u);
        for (const std::string& part : c.saying) EXPECT_NE(parsed.text.find(part), std::string::npos) << part;
    }
}

TEST(CliArguments, HelpAndVersionEndWithExitCodeZero)
{
    const auto help = Parse({"--help"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"ports", "info", "program", "backup", "Exit codes", "6  the setting does not apply"})
        EXPECT_NE(help.text.find(part), std::string::npos) << part;
    for (const OutcomeWord& entry : kOutcomeWords)  // every word that a result can have
        EXPECT_NE(help.text.find(entry.word), std::string::npos) << entry.word;

    const auto programHelp = Parse({"program", "--help"});
    EXPECT_EQ(programHelp.exitCode, 0);
    for (const char* part : {"--resolution", "--edge-separation", "--direction", "--dry-run", "--each", "--count",
                             "--log", "--port", "--json", "Exit codes"})
        EXPECT_NE(programHelp.text.find(part), std::string::npos) << part;

    // Only the commands that run a line say what --each does with several ports.
    for (const char* command : {"ports", "info", "backup", "restore", "program", "verify"}) {
        const auto commandHelp = Parse({command, "--help"});
        const bool line = std::string_view(command) == "program" || std::string_view(command) == "verify";
        EXPECT_EQ(commandHelp.text.find("--each") != std::string::npos, line) << command;
    }
    EXPECT_NE(programHelp.text.find("the encoders in hand are finished"), std::string::npos);

    for (const char* flag : {"--version", "-V"}) {
        const auto version = Parse({flag});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.text, "tarv-cli 2.1.0.0\n");
    }
}

}  // namespace

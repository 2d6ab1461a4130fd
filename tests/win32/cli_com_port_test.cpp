// tarv-cli.exe through a real COM port under wine: scripts/test-windows.sh maps the port named
// in TARV_E2E_COM_PORT to tarv-adapter-sim (its default KV24 encoder) and names the emulator's
// frame log in TARV_E2E_SIM_LOG; without them the tests are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32_api.h"
#include "support/sim_log.h"

namespace {
using namespace std::chrono_literals;
using nlohmann::ordered_json;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());  // the arguments here are ASCII
}

// tarv-cli.exe beside this test's folder, where the build puts it.
std::wstring CliPath()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + Wide(TARV_CLI_RELATIVE_PATH);
}

struct CliRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

HANDLE InheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::string FileText(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs tarv-cli.exe with `args` to its end, its standard output and error caught in files.
CliRun RunCli(const std::string& args)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring outPath = std::wstring(folder) + L"tarv-cli-test.out";
    const std::wstring errPath = std::wstring(folder) + L"tarv-cli-test.err";
    CliRun run;
    HANDLE out = InheritableFile(outPath);
    HANDLE err = InheritableFile(errPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + CliPath() + L"\" " + Wide(args);
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60'000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = FileText(outPath);
    run.err = FileText(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

class CliComPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (port.empty() || logPath.empty()) GTEST_SKIP() << "TARV_E2E_COM_PORT and TARV_E2E_SIM_LOG are not set";
    }

    // The kinds of the requests logged since the test began, once there are `count` of them;
    // every one must have come at the line settings that the Win32 host sets.
    std::vector<std::string> NewRequestKinds(size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        std::vector<LoggedRequest> requests = ParseLog(logPath);
        while (requests.size() < logged + count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            requests = ParseLog(logPath);
        }
        std::vector<std::string> kinds;
        for (size_t i = logged; i < requests.size(); ++i) {
            kinds.push_back(requests[i].kind);
            EXPECT_EQ(requests[i].line, "19200 8N2") << requests[i].kind << " [" << requests[i].bytes << "]";
        }
        return kinds;
    }

    const std::string port = Environment("TARV_E2E_COM_PORT");
    const std::string logPath = Environment("TARV_E2E_SIM_LOG");
    const size_t logged = logPath.empty() ? 0 : ParseLog(logPath).size();  // earlier tests' requests
};

std::vector<std::string> Repeated(const char* kind, size_t times)
{
    return std::vector<std::string>(times, kind);
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(CliComPortTest, InfoJsonReadsTheEncoderThroughThePort)
{
    const CliRun run = RunCli("info --json --port " + port);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const ordered_json info = ordered_json::parse(run.out);
    EXPECT_EQ(info["port"], port);
    EXPECT_EQ(info["product"], "KV24");
    EXPECT_EQ(info["manufactured"], "2014-01-08");
    EXPECT_EQ(info["format"], 2);
    EXPECT_EQ(info["config_crc_ok"], true);
    EXPECT_EQ(info["record_checksum_ok"], true);
    EXPECT_EQ(NewRequestKinds(5), Concat({{"presence"}, Repeated("eeprom-read", 4)}));
}

TEST_F(CliComPortTest, ProgramWritesAndVerifiesThroughThePort)
{
    const CliRun run = RunCli("program --json --port " + port + " --resolution D50 --direction positive");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const ordered_json line = ordered_json::parse(run.out);
    EXPECT_EQ(line["result"], "ok");
    EXPECT_EQ(line["product"], "KV24");
    EXPECT_EQ(line["after"]["resolution"]["designation"], "D50");
    EXPECT_EQ(line["after"]["direction"], "positive");
    EXPECT_EQ(
        NewRequestKinds(25),
        Concat({{"presence"}, Repeated("eeprom-read", 4), Repeated("eeprom-write", 16), Repeated("eeprom-read", 4)}));

    const CliRun info = RunCli("info --json --port " + port);
    ASSERT_EQ(info.exitCode, 0u) << info.err;
    EXPECT_EQ(ordered_json::parse(info.out)["resolution"]["designation"], "D50");

    // The emulator's settings as they were, for the tests that expect its default encoder.
    const CliRun back = RunCli("program --port " + port + " --resolution 12B --direction negative --edge-separation 1");
    EXPECT_EQ(back.exitCode, 0u) << back.err;
}

TEST_F(CliComPortTest, PortsListsTheAdapterAndSettingsThatDoNotApplyEndWithSix)
{
    const CliRun ports = RunCli("ports --json");
    EXPECT_EQ(ports.exitCode, 0u) << ports.err;
    const ordered_json listed = ordered_json::parse(ports.out);
    const auto adapter = [this](const ordered_json& item) {
        return item["port"] == port && item["status"] == "adapter";
    };
    EXPECT_NE(std::find_if(listed.begin(), listed.end(), adapter), listed.end()) << ports.out;

    // The default encoder's stored edge separation is in the first table, which has no 0.07.
    const CliRun program = RunCli("program --port " + port + " --edge-separation 0.07");
    EXPECT_EQ(program.exitCode, 6u);
    EXPECT_NE(program.err.find("--edge-separation: '0.07' is not in this encoder's table 1"), std::string::npos)
        << program.err;
}

// A line of two fixtures: scripts/test-windows.sh maps a second port, TARV_E2E_COM_PORT2, to a
// second emulator, whose frame log is TARV_E2E_SIM_LOG2. Each port programs the encoder on its
// adapter at the same time, and the count of two over both ports ends the line.
TEST_F(CliComPortTest, TwoComPortsProgramTheirEncodersAtOnce)
{
    const std::string port2 = Environment("TARV_E2E_COM_PORT2");
    const std::string log2 = Environment("TARV_E2E_SIM_LOG2");
    if (port2.empty() || log2.empty()) GTEST_SKIP() << "TARV_E2E_COM_PORT2 and TARV_E2E_SIM_LOG2 are not set";
    const size_t logged2 = ParseLog(log2).size();

    const CliRun run = RunCli("program --each --count 2 --json --resolution D50 -p " + port + " -p " + port2);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    std::vector<std::string> ports;
    std::istringstream lines(run.out);
    for (std::string text; std::getline(lines, text);) {
        const ordered_json line = ordered_json::parse(text);
        EXPECT_EQ(line["result"], "ok") << text;
        ports.push_back(line["port"]);
    }
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{port, port2})) << run.out;
    EXPECT_NE(run.err.find("tarv-cli: all ports: 2 ok, 0 failed"), std::string::npos) << run.err;
    const auto writes = [](const std::vector<LoggedRequest>& requests, size_t from) {
        return std::count_if(requests.begin() + static_cast<std::ptrdiff_t>(from), requests.end(),
                             [](const LoggedRequest& r) { return r.kind == "eeprom-write"; });
    };
    EXPECT_EQ(writes(ParseLog(logPath), logged), 16);
    EXPECT_EQ(writes(ParseLog(log2), logged2), 16);

    // The first emulator's settings as they were, for the tests that expect its default encoder.
    const CliRun back = RunCli("program --port " + port + " --resolution 12B --direction negative --edge-separation 1");
    EXPECT_EQ(back.exitCode, 0u) << back.err;
}

// A file named as the port is refused untouched; no adapter emulator is needed for that.
TEST(CliNotAPortTest, AFileNamedAsThePortKeepsItsBytes)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring file = std::wstring(folder) + L"tarv-cli-not-a-port.bin";
    const std::string content = "the first bytes of a file that is no port";
    std::ofstream(file.c_str(), std::ios::binary) << content;
    const std::string path(file.begin(), file.end());  // the temporary folder's name is ASCII here

    const CliRun run = RunCli("info --port \"" + path + "\"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("tarv-cli: " + path + ": not a serial port"), std::string::npos) << run.err;
    EXPECT_EQ(FileText(file), content);
    DeleteFileW(file.c_str());
}

}  // namespace

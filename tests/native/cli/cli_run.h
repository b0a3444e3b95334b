#pragma once
// Runs sonrix-cli in-process as the program would run, in a folder of the
// test's own (tests run in parallel processes).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include "cli/commands.h"

struct CliResult {
    int code;
    std::string out, err;
    // Line `line` of stdout as JSON; a missing line fails to parse.
    nlohmann::json Json(int line = 0) const {
        std::istringstream in(out);
        std::string text;
        for (int i = 0; i <= line; ++i)
            if (!std::getline(in, text)) text.clear();
        return nlohmann::json::parse(text);
    }
};

inline CliResult RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "sonrix-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = srx::cli::Main(int(argv.size()), argv.data());
    return {code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

class CliFolder : public testing::Test {
protected:
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("srx_cli_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
         std::to_string(getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string P(const char* name) const { return (dir / name).string(); }
};

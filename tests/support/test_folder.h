#pragma once
// A folder of the running test's own under the temporary folder, removed with
// it: two runs at once (two checkouts, or CI beside a developer) each make
// their own, so neither writes over the other's files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

class TestFolder {
public:
    TestFolder() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("ventora-") + test->test_suite_name() + "." + test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        // Making the folder is what claims it: a name another run made is passed over.
        for (int n = 0; !std::filesystem::create_directory(path_ = base() / (name + "-" + std::to_string(n))); ++n) {}
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The path of a file in the folder.
    std::string operator/(const std::string& file) const { return (path_ / file).string(); }

private:
    static std::filesystem::path base() { return std::filesystem::path(testing::TempDir()); }
    std::filesystem::path path_;
};

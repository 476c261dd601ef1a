#ifndef TOLV_TESTS_TESTTEMP_H
#define TOLV_TESTS_TESTTEMP_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

// A temporary path of the running test alone: CTest runs the cases of one
// executable as parallel processes, so fixed names would collide.
inline std::filesystem::path TestTempPath(const std::string &tag)
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = info != nullptr ? std::string(info->test_suite_name()) + "_" + info->name() : "none";
    return std::filesystem::path(::testing::TempDir()) /
           ("tolv_" + test + "_" + std::to_string(::getpid()) + "_" + tag);
}

#endif

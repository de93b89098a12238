#pragma once

#include <filesystem>
#include <string>

// Shared helpers of the test programs. Every test case runs with TOLV_ROOT set to a fresh
// temporary directory that is removed after the case (installed by the common test main).
namespace testsupport {

// The TOLV_ROOT of the running test case.
std::filesystem::path Root();

// The build's bin folder: the test programs, the program and its components live there.
std::filesystem::path BinFolder();

// The source tree (for test data).
std::filesystem::path SourceFolder();

// Writes a whole file, creating its folder; throws on failure.
void WriteFile(const std::filesystem::path& path, const std::string& content);

// Reads a whole file; empty when missing.
std::string ReadFile(const std::filesystem::path& path);

} // namespace testsupport

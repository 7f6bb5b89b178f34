#pragma once
// JPK_V7M records into the Buchalter import tables (the run itself is
// ConvertV7MToBuchalter in convert.h).

#include <filesystem>
#include <string_view>
#include <vector>

namespace kx::convert {

// The empty template "<base>.dbf" of the Buchalter template folder in the
// first of the folders that has it. Fails with kx::Error naming the file and
// the folders searched.
std::filesystem::path FindBuchalterTemplate(const std::vector<std::filesystem::path>& folders, std::string_view base);

}  // namespace kx::convert

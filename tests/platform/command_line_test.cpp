// The split of a Windows command line into arguments, each rule of the system's own split as a
// row. On Windows every row is also checked against the system's CommandLineToArgvW.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

struct TSplitRow {
  const wchar_t* Line;
  std::vector<std::wstring> Args;
};

const TSplitRow SplitRows[] = {
    {L"veldrin-grid", {L"veldrin-grid"}},
    {L"veldrin-grid   -f\tC:\\maps  ", {L"veldrin-grid", L"-f", L"C:\\maps"}},
    // The name ends at its closing quote; its backslashes are part of the path.
    {L"\"C:\\Program Files\\veldrin-grid.exe\" -n", {L"C:\\Program Files\\veldrin-grid.exe", L"-n"}},
    {L"C:\\a\\\"b c", {L"C:\\a\\\"b", L"c"}},
    {L" -n", {L"", L"-n"}},
    {L"p \"C:\\my maps\" -m i1", {L"p", L"C:\\my maps", L"-m", L"i1"}},
    {L"p a\"b c\"d", {L"p", L"ab cd"}},
    {L"p \"\" x", {L"p", L"", L"x"}},
    {L"p a\\\\b", {L"p", L"a\\\\b"}},
    {L"p a\\\"b", {L"p", L"a\"b"}},
    {L"p a\\\\\"b c\" d", {L"p", L"a\\b c", L"d"}},
    {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
    {L"p \"C:\\maps\\\\\" -n", {L"p", L"C:\\maps\\", L"-n"}},
    {L"p \"C:\\maps\\\" -n", {L"p", L"C:\\maps\" -n"}},
    {L"p \"a\"\"b\" c", {L"p", L"a\"b c"}},
    {L"p \"a\"\"\"b\" c", {L"p", L"a\"b", L"c"}},
    {L"p \"open to the end", {L"p", L"open to the end"}},
    {L"p 地図 \"大きな 地図\"", {L"p", L"地図", L"大きな 地図"}},
};

TEST(CommandLine, SplitsAsTheSystemDoes) {
  for (const TSplitRow& Row : SplitRows) {
    SCOPED_TRACE(testing::Message() << "line " << testing::PrintToString(std::wstring(Row.Line)));
    EXPECT_EQ(SplitCommandLine(Row.Line), Row.Args);
#ifdef _WIN32
    int Count = 0;
    wchar_t** System = ::CommandLineToArgvW(Row.Line, &Count);
    ASSERT_NE(System, nullptr);
    const std::vector<std::wstring> SystemArgs(System, System + Count);
    ::LocalFree(System);
    EXPECT_EQ(SystemArgs, Row.Args) << "CommandLineToArgvW";
#endif
  }
}

}  // namespace

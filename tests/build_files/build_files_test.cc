// The CMake files keep their hand layout: a command is indented two spaces
// a block level, and comments read "# text". Running a C++ formatter over
// them (which treats them as C++) breaks both.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The layout faults of one CMake file, "line: fault" each.
std::vector<std::string> LayoutFaults(const std::string& text) {
  static const char* const kOpeners[] = {"if", "foreach", "while", "function", "macro", "block"};
  static const char* const kMiddles[] = {"else", "elseif"};
  std::vector<std::string> faults;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  int depth = 0;        // open blocks
  int open_parens = 0;  // inside a command's arguments
  bool in_quotes = false;
  while (std::getline(lines, line)) {
    ++number;
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos || in_quotes || open_parens > 0) {
      // Blank, or an argument line: laid out freely.
    } else if (line[indent] == '#') {
      if (line.size() > indent + 1 && line[indent + 1] != ' ' && line[indent + 1] != '[')
        faults.push_back(std::to_string(number) + ": comment without a space after #");
    } else {
      std::string word = line.substr(indent, line.find_first_of(" (", indent) - indent);
      std::transform(word.begin(), word.end(), word.begin(), ::tolower);
      bool closes = word.rfind("end", 0) == 0;
      bool middle = std::find(std::begin(kMiddles), std::end(kMiddles), word) != std::end(kMiddles);
      int level = depth - (closes || middle ? 1 : 0);
      if (static_cast<int>(indent) != 2 * std::max(level, 0))
        faults.push_back(std::to_string(number) + ": indented " + std::to_string(indent) +
                         ", expected " + std::to_string(2 * level));
      if (std::find(std::begin(kOpeners), std::end(kOpeners), word) != std::end(kOpeners))
        ++depth;
      if (closes)
        --depth;
    }
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (in_quotes) {
        if (c == '\\')
          ++i;
        else if (c == '"')
          in_quotes = false;
      } else if (c == '"') {
        in_quotes = true;
      } else if (c == '#') {
        break;
      } else if (c == '(') {
        ++open_parens;
      } else if (c == ')') {
        --open_parens;
      }
    }
  }
  return faults;
}

TEST(BuildFilesTest, TheCheckSeesAFormatterRun) {
  EXPECT_TRUE(LayoutFaults("# A comment.\n"
                           "if(A)\n"
                           "  add_library(a STATIC a.cc\n"
                           "              b.cc)\n"
                           "else()\n"
                           "  message(\"(\")\n"
                           "endif()\n")
                  .empty());
  // What clang-format made of a CMakeLists.txt.
  EXPECT_EQ(LayoutFaults("#System preparation.The child - process runner\n"
                         "add_library(r STATIC r.cc)\n"
                         "    target_link_libraries(r PUBLIC w)\n"),
            (std::vector<std::string>{"1: comment without a space after #",
                                      "3: indented 4, expected 0"}));
}

TEST(BuildFilesTest, EveryCMakeFileKeepsItsLayout) {
  const fs::path root = TERN_SOURCE_DIR;
  int checked = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory()) {
      // Build trees and hidden folders are not ours to check.
      if (name[0] == '.' || fs::exists(it->path() / "CMakeCache.txt"))
        it.disable_recursion_pending();
      continue;
    }
    if (name != "CMakeLists.txt" && it->path().extension() != ".cmake")
      continue;
    std::ifstream in(it->path());
    std::stringstream text;
    text << in.rdbuf();
    for (const std::string& fault : LayoutFaults(text.str()))
      ADD_FAILURE() << fs::relative(it->path(), root).string() << ":" << fault;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace

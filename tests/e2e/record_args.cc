// Stands in for a program the client starts: writes its arguments, one per
// line, to "<its own path>.args" and exits.
#include <fstream>

int main(int argc, char** argv) {
  std::ofstream out(std::string(argv[0]) + ".args", std::ios::trunc);
  for (int i = 1; i < argc; ++i)
    out << argv[i] << "\n";
  return 0;
}

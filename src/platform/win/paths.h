#pragma once
// Where the program's data files (Format.xml, Set.xml, skin/, help/) are found:
// the working directory first, then beside the executable, then the installed
// share directory.
#include <string>
#include <vector>

std::string ExecutableDir();
std::vector<std::string> DataSearchDirs();
// The first existing "<dir>/<relative>" of DataSearchDirs(), or "" when none.
std::string FindDataFile(const std::string& relative);

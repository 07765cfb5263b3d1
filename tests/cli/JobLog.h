// The write log as a program prints it on stdout, checked line by line.
#pragma once

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// The log lines of a whole job without their frame; the start line and the two closing time lines
// are checked here, and so is that every entry is one non-empty line.
Lines JobBody(const std::string& out);
// JobBody equals body, where an expected line ending in '*' matches every line it begins.
void ExpectJobBody(const std::string& out, const Lines& body);

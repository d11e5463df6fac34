// Frame files are read in the order given; a shell glob sorts walk_10.obj
// before walk_2.obj. This finds where the numbers in the names go backwards.
#pragma once

#include <string>
#include <vector>

// Index i of the first pair whose names differ only in their numbers and
// where files[i]'s numbers are larger than files[i + 1]'s (compared as
// numbers, by file name without folder); -1 when there is none.
long firstFrameOutOfOrder(const std::vector<std::string>& files);

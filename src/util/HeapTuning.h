#pragma once

namespace korimbo {

// glibc keeps freed small blocks on lists of their own and merges them all in one go at the next large
// allocation or free: after a listing of 100,000 entries that one step takes tens of milliseconds, with
// the window frozen. Without those lists every free merges its own block, and long loops stay smooth.
// Called first thing by the program.
void MergeFreedBlocksAtOnce();

} // namespace korimbo

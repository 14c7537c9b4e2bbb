#pragma once
// How many rows the run log keeps; the newest stay, the oldest go at the bottom. Under Wine a
// list-view row costs far more memory than its text, and the heap goes on growing for a while
// after the log is full: with 5 000 rows the program stayed within 17 to 24 MiB of its start
// over 25 000 to 65 000 reports, with 10 000 rows it grew by 71 MiB.
constexpr int kRunLogRowLimit = 5000;

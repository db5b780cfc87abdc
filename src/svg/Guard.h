#ifndef GUARD_H
#define GUARD_H

// What pictorn-svg sets up before it reads a document, so that no document can take more than
// its share of the machine or outlive pictorn.

// The exit status that tells pictorn the drawing ran out of memory.
inline constexpr int outOfMemory = 2;

// Caps the process at SECONDS of processor time and of wall time and at MEBIBYTES of address
// space, writes no core, dies with its parent, and keeps its library's complaints to itself,
// judging by them whether an abort was memory running out.
void guard(long seconds, long mebibytes);

#endif

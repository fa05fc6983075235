// The real program on slow and stalled links: how often its item bar moves, and how soon
// it ends after the user confirms an abort.
#pragma once

// Runs the scenarios against `program` (tool_under_test.exe) and prints the figures.
void RunSlowLinkBench(const char* program, int rounds);

// The verbs of qwpack. Each takes the arguments after its own name and
// returns the process exit code.
#pragma once

int RunExtract(int argc, char** argv);
int RunList(int argc, char** argv);
int RunVerify(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunBench(int argc, char** argv);

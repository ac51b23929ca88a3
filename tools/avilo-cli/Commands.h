#pragma once
// The subcommands of avilo-cli, one source file each.  Each takes the arguments after its name
// and returns the process exit code.

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunAirports(const Args& args);
int RunFly(const Args& args);
int RunCheck(const Args& args);
int RunGenerate(const Args& args);
int RunExport(const Args& args);
int RunImport(const Args& args);

#pragma once
// The ledsign tool behind the platform's entry point (platform/Entry*.cpp), which hands it the
// arguments as UTF-8 and prepares the console so that UTF-8 output reads correctly.

namespace ledsign_tool {

// Runs the command named by argv[1] with the arguments after it; returns the exit status.
// `argv` holds `argc` UTF-8 strings, argv[0] the program.
int RunLedsign(int argc, char** argv);

} // namespace ledsign_tool

// gc6890: the host program that drives the GC and its sampler from a terminal.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"gc6890: control an HP 6890 gas chromatograph and its liquid sampler"};
    app.set_version_flag("--version", std::string("gc6890 ") + GC6890_VERSION);
    CLI11_PARSE(app, argc, argv);
    std::cout << app.help();
    return 0;
}

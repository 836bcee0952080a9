// radiosim: a virtual transceiver on a pseudo-terminal. Run with --help for the whole story.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/radiosim/options.h"
#include "tools/radiosim/simulator.h"

int main(int argc, char** argv) {
    const radiosim::ParsedOptions parsed =
        radiosim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(radiosim::HelpText(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "radiosim: %s\nTry 'catlink-radiosim --help'.\n", parsed.error.c_str());
        return 2;
    }
    try {
        radiosim::Simulator simulator(parsed.options);
        simulator.Setup();
        simulator.Run();
    } catch (const radiosim::SetupFailure& failure) {
        std::fprintf(stderr, "radiosim: %s\n", failure.problem.c_str());
        return 1;
    }
    return 0;
}

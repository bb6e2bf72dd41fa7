// tavix-traffic-standin: runs the traffic-service stand-in on 127.0.0.1 for the demo.
// Usage: tavix-traffic-standin [scenario.json | -] [port] [idle-seconds] [at-first-traffic]   (- : no traffic)
// Prints the API base to point TAVIX_API_BASE at, then "replay clock 0 at <Unix seconds>" (or, with
// at-first-traffic, the replay starting at the first traffic request), serves until idle for the
// given seconds (default 600), then exits. Threads: main thread waits; the server runs its own threads.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "traffic_standin.h"

int main(int argc, char** argv)
{
    tvxstandin::TrafficScenario scenario;
    if (argc > 1 && std::string(argv[1]) != "-" && argv[1][0] != '\0') {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::cerr << "cannot open " << argv[1] << "\n";
            return 2;
        }
        std::ostringstream text;
        text << in.rdbuf();
        try {
            scenario = tvxstandin::gf_parseScenario(text.str());
        } catch (const std::exception& e) {
            std::cerr << argv[1] << ": " << e.what() << "\n";
            return 2;
        }
    }
    const int port = argc > 2 ? std::atoi(argv[2]) : 0;
    const int idle = argc > 3 ? std::atoi(argv[3]) : 600;
    const bool atFirstTraffic = argc > 4 && std::string(argv[4]) == "at-first-traffic";
    tvxstandin::TrafficStandin standin(std::move(scenario));
    if (atFirstTraffic)
        standin.startClockAtFirstTraffic();
    if (!standin.start(port, std::chrono::seconds(idle > 0 ? idle : 600))) {
        std::cerr << "cannot bind 127.0.0.1:" << port << "\n";
        return 1;
    }
    std::cout << standin.apiBase() << std::endl;
    // When the replay's second 0 was, for matching the simulator's positions to the scenario.
    if (atFirstTraffic)
        std::cout << "replay clock 0 at the first traffic request" << std::endl;
    else
        std::cout << "replay clock 0 at " << std::fixed
                  << std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count()
                  << std::endl;
    standin.waitStopped();
    standin.stop();
    return 0;
}

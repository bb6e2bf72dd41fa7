// tavix-download-standin: serves the download stand-in on 127.0.0.1 for manual and demo runs.
// Usage: tavix-download-standin <work folder> [port]. The server root is built in the work folder
// from the committed tree; point the program at it with TAVIX_SERVER_BASE=http://127.0.0.1:<port>/
// (or TAVIX_SERVER_BASE=file://<work folder>/). Stops on end of input.
#include <cstdlib>
#include <iostream>
#include <string>

#include "download_server/download_server.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tavix-download-standin <work folder> [port]\n";
        return 2;
    }
    std::string error;
    if (!dlstandin::buildServerRoot(dlstandin::committedTree(), argv[1], &error)) {
        std::cerr << error << '\n';
        return 1;
    }
    dlstandin::DownloadServer server(argv[1]);
    if (!server.start(argc > 2 ? std::atoi(argv[2]) : 0)) {
        std::cerr << "cannot start the server\n";
        return 1;
    }
    std::cout << server.baseUrl() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
    return 0;
}

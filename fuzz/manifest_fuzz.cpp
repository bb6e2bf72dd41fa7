// Package manifests: the input is the manifest.json of an airport package under Community, found
// and read by gf_detectPublisher for the package's BGL file as the add-on airport scan does. A
// manifest that does not parse is reported in the scan messages and is "not found". Checked after
// each manifest: the texts taken from it no longer than the input, the publisher one of the
// program's answers (never a path), nothing written.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "fuzz_support.h"
#include "parking/addon_scan.h"
#include "parking/archive_links.h"
#include "parking/package_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    const auto package = work / "Community" / "maker-airport-bikf";
    tvxfuzz::gf_writeBytes(package / "manifest.json", tvxfuzz::gf_text(data, size));
    const auto bgl = package / "scenery" / "airport.bgl";
    tvxfuzz::gf_writeBytes(bgl, "");
    const auto before = tvxfuzz::gf_filesBelow(work);
    PublisherInfo info;
    {
        std::lock_guard lock(g_publisherMutex);
        info = gf_detectPublisher(bgl.string());
    }
    {
        std::lock_guard lock(g_scanMessagesMutex);
        g_scanMessages.clear();
    }
    tvxfuzz::gf_checkWrittenOnlyBelow(before, package / "none");
    tvxfuzz::gf_check(info.manufacturer.size() + info.creator.size() + info.title.size() <= size,
                      "manifest texts longer than the manifest");
    tvxfuzz::gf_check(!info.publisher.empty() && info.publisher.find('/') == std::string::npos,
                      "a publisher that is empty or a path");
    return 0;
}

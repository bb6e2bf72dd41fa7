// Downloads: gf_download over file:// and over the loopback stand-in (user agent, error status,
// nothing left behind on failure), the zip extractor refusing entries outside its folder, the
// server address per simulator, and the start-up data-pack update from the download stand-in.
#include <gtest/gtest.h>

#include <memory>

#include "app/data_packs.h"
#include "download_server/download_server.h"
#include "foundation/data_folders.h"
#include "foundation/settings.h"
#include "frame/status.h"
#include "parking/park_read.h"
#include "support/app_sandbox.h"
#include "support/full_disk_folder.h"

namespace {

namespace fs = std::filesystem;
using tvxtest::AppSandbox;
using tvxtest::readFile;
using tvxtest::writeFile;

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

CurlHandle newHandle()
{
    return CurlHandle(curl_easy_init(), curl_easy_cleanup);
}

TEST(Downloads, SimServerUrlPerSimulator)
{
    AppSandbox box;
    g_serverBaseUrl = "http://server/";
    g_optMsfs2020.set(true);
    EXPECT_EQ(gf_simServerUrl(false), "http://server/MSFS/");
    g_optMsfs2020.set(false);
    EXPECT_EQ(gf_simServerUrl(false), "http://server/MSFS2024/");
    EXPECT_EQ(gf_simServerUrl(true), "http://server/MSFS/");
}

TEST(Downloads, FileUrlSuccessAndFailureLeaveNoHalfFile)
{
    AppSandbox box;
    writeFile(box.path() / "server" / "MSFS" / "archive" / "stock" / "EHAM.xml", "<parkpositions/>");
    writeFile(box.path() / "server" / "Some Maker" / "EHAM.xml", "blank");
    const std::string base = AppSandbox::fileUrl(box.path() / "server");
    auto handle = newHandle();

    ASSERT_TRUE(gf_download(handle.get(), base + "MSFS/archive/stock/EHAM.xml", "EHAM.xml", 0));
    EXPECT_EQ(readFile("EHAM.xml"), "<parkpositions/>");
    EXPECT_TRUE(gf_download(handle.get(), base + "Some%20Maker/EHAM.xml", "maker.xml", 0));
    EXPECT_EQ(readFile("maker.xml"), "blank");

    // A missing file: false, no empty file created, and a good file of that name is kept.
    EXPECT_FALSE(gf_download(handle.get(), base + "MSFS/archive/stock/LFPG.xml", "LFPG.xml", 0));
    EXPECT_FALSE(fs::exists("LFPG.xml"));
    EXPECT_FALSE(fs::exists("LFPG.xml.part"));
    EXPECT_FALSE(gf_download(handle.get(), base + "MSFS/archive/stock/LFPG.xml", "EHAM.xml", 0));
    EXPECT_EQ(readFile("EHAM.xml"), "<parkpositions/>");

    EXPECT_FALSE(gf_download(nullptr, base + "MSFS/archive/stock/EHAM.xml", "x.xml", 0));
    EXPECT_FALSE(gf_download(handle.get(), base + "MSFS/archive/stock/EHAM.xml", "nofolder/x.xml", 0));
    EXPECT_NE(box.logText().find("could not open output file: nofolder/x.xml"), std::string::npos);
}

TEST(Downloads, LoopbackUserAgentErrorStatusAndRequestPaths)
{
    AppSandbox box;
    const fs::path root = box.path() / "root";
    writeFile(root / "MSFS" / "archive" / "stock" / "EHAM.xml", "stock EHAM");
    writeFile(root / "MSFS2024" / "archive" / "thirdparty" / "Some Maker" / "EHAM.xml", "maker EHAM");
    dlstandin::DownloadServer server(root);
    ASSERT_TRUE(server.start());
    g_serverBaseUrl = server.baseUrl();
    g_optMsfs2020.set(false);  // 2024: stock files still come from MSFS/
    auto handle = newHandle();

    EXPECT_TRUE(gf_download(handle.get(), gf_simServerUrl(true) + "archive/stock/EHAM.xml", "C.xml", 0));
    EXPECT_EQ(readFile("C.xml"), "stock EHAM");
    EXPECT_TRUE(gf_download(handle.get(), gf_simServerUrl(false) + "archive/thirdparty/Some%20Maker/EHAM.xml",
                            "airport.xml", 0));
    EXPECT_EQ(readFile("airport.xml"), "maker EHAM");
    // 404: false and nothing left behind.
    EXPECT_FALSE(gf_download(handle.get(), gf_simServerUrl(true) + "archive/stock/LFPG.xml", "LFPG.xml", 0));
    EXPECT_FALSE(fs::exists("LFPG.xml"));
    server.stop();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/MSFS/archive/stock/EHAM.xml");
    EXPECT_EQ(requests[1].path, "/MSFS2024/archive/thirdparty/Some Maker/EHAM.xml");
    EXPECT_EQ(requests[2].status, 404);
    for (const auto& r : requests)
        EXPECT_EQ(r.userAgent, "Tavix");
}

TEST(Downloads, UnzipRefusesEntriesOutsideItsFolder)
{
    AppSandbox box;
    fs::create_directories("target");
    ASSERT_TRUE(dlstandin::writeZip("pack.zip", {
                                                    {"good/ok.xml", "fine"},
                                                    {"../evil.txt", "outside"},
                                                    {"sub/../../evil2.txt", "outside"},
                                                    {"/tmp/tavix-abs-evil.txt", "absolute"},
                                                    {"..\\evil3.txt", "backslash"},
                                                    {"C:\\evil4.txt", "drive"},
                                                    {"top.xml", "top"},
                                                }));
    EXPECT_FALSE(gf_unzip("pack.zip", "target"));  // refused entries make the result false
    EXPECT_EQ(readFile("target/good/ok.xml"), "fine");
    EXPECT_EQ(readFile("target/top.xml"), "top");
    EXPECT_FALSE(fs::exists("evil.txt"));
    EXPECT_FALSE(fs::exists("evil2.txt"));
    EXPECT_FALSE(fs::exists("evil3.txt"));
    EXPECT_FALSE(fs::exists("/tmp/tavix-abs-evil.txt"));
    EXPECT_FALSE(fs::exists(box.path().parent_path() / "evil.txt"));
    // Only the two good entries were written anywhere below the sandbox.
    int written = 0;
    for (const auto& entry : fs::recursive_directory_iterator("target"))
        written += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(written, 2);
    EXPECT_NE(box.logText().find("\"../evil.txt\" refused"), std::string::npos);

    ASSERT_TRUE(dlstandin::writeZip("clean.zip", {{"a.xml", "A"}, {"dir/b.xml", "B"}}));
    EXPECT_TRUE(gf_unzip("clean.zip", "clean"));
    EXPECT_EQ(readFile("clean/dir/b.xml"), "B");

    writeFile("broken.zip", "this is not a zip");
    EXPECT_FALSE(gf_unzip("broken.zip", "target"));
}

TEST(Downloads, VersionFileParsing)
{
    AppSandbox box;
    ServerVersionInfo info;
    ASSERT_TRUE(gf_parseServerVersion(R"({"version":"1.2.3","installer":"Setup.exe","db":7,"regcodes":3})", info));
    EXPECT_EQ(info.version, (Version{1, 2, 3}));
    EXPECT_EQ(info.installer, "Setup.exe");
    EXPECT_EQ(info.db, 7);
    EXPECT_EQ(info.regcodes, 3);
    for (const char* bad : {"", "{", "[]", R"({"version":3})", R"({"version":"x.y"})", R"({"db":7})"})
        EXPECT_FALSE(gf_parseServerVersion(bad, info)) << bad;
}

// A server root built from the committed stand-in tree, with a small aircraft database and
// registration pack of its own so the test does not depend on other folders' files.
fs::path buildRoot(const AppSandbox& box, int db, const std::string& version = "0.1.0")
{
    const fs::path tree = box.path() / "tree";
    fs::remove_all(tree);
    fs::copy(dlstandin::committedTree(), tree, fs::copy_options::recursive);
    fs::remove_all(tree / "data" / "regcodes");
    writeFile(tree / "data" / "aircraftdb.xml", "<aircraftdb><types><t c=\"B738\" span=\"35.8\"/></types></aircraftdb>");
    writeFile(tree / "data" / "regcodes" / "PH.xml", "<registrations/>");
    writeFile(tree / "version.json", "{\"version\":\"" + version + "\",\"installer\":\"Tavix-setup.exe\",\"db\":" +
                                         std::to_string(db) + ",\"regcodes\":1,\"airports\":1}");
    writeFile(tree / "download" / "Tavix-setup.exe", "installer");
    const fs::path root = box.path() / "root";
    fs::remove_all(root);
    std::string error;
    EXPECT_TRUE(dlstandin::buildServerRoot(tree, root, &error)) << error;
    return root;
}

TEST(Downloads, DataPackUpdateFromTheStandIn)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    g_optMsfs2020.set(true);
    fs::path root = buildRoot(box, 7);
    g_serverBaseUrl = AppSandbox::fileUrl(root);

    ASSERT_TRUE(gf_updateDataPacks());
    EXPECT_NE(readFile("input/aircraftdb.xml").find("B738"), std::string::npos);
    EXPECT_TRUE(fs::exists("input/regcodes/PH.xml"));
    EXPECT_NE(readFile("input/airports_msfs.xml").find("code=\"EHAM\""), std::string::npos);
    EXPECT_TRUE(fs::exists("input/airports_msfs_names.xml"));
    EXPECT_FALSE(fs::exists("input/aircraftdb.zip"));
    EXPECT_EQ(gf_localPackVersion("db"), 7);
    EXPECT_EQ(gf_localPackVersion("regcodes"), 1);
    EXPECT_FALSE(fs::exists("download/Tavix-setup.exe"));  // same version: no installer

    // Same versions again: nothing is fetched (the packs are gone from the server, the files stay).
    fs::remove(root / "MSFS" / "data" / "aircraftdb.zip");
    writeFile("input/aircraftdb.xml", "local");
    ASSERT_TRUE(gf_updateDataPacks());
    EXPECT_EQ(readFile("input/aircraftdb.xml"), "local");

    // A newer database on the server replaces the local one; a newer program brings its installer.
    root = buildRoot(box, 8, "9.0.0");
    ASSERT_TRUE(gf_updateDataPacks());
    EXPECT_NE(readFile("input/aircraftdb.xml").find("B738"), std::string::npos);
    EXPECT_EQ(gf_localPackVersion("db"), 8);
    EXPECT_EQ(readFile("download/Tavix-setup.exe"), "installer");
    EXPECT_NE(box.logText().find("Version 9.0.0 is available"), std::string::npos);
}

TEST(Downloads, DataPackUpdateOverLoopbackAndWithoutServer)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    g_optMsfs2020.set(false);
    const fs::path root = buildRoot(box, 2);
    dlstandin::DownloadServer server(root);
    ASSERT_TRUE(server.start());
    g_serverBaseUrl = server.baseUrl();
    ASSERT_TRUE(gf_updateDataPacks());
    server.stop();
    EXPECT_EQ(server.requestCount("/version.json"), 1);
    EXPECT_EQ(server.requestCount("/MSFS2024/data/aircraftdb.zip"), 1);
    EXPECT_EQ(server.requestCount("/MSFS2024/data/regcodes.zip"), 1);
    EXPECT_TRUE(fs::exists("input/aircraftdb.xml"));

    // No server: false, and what is there stays.
    g_serverBaseUrl = AppSandbox::fileUrl(box.path() / "nothing");
    EXPECT_FALSE(gf_updateDataPacks());
    EXPECT_TRUE(fs::exists("input/aircraftdb.xml"));

    // A malformed version file changes nothing.
    writeFile(box.path() / "bad" / "version.json", "{not json");
    g_serverBaseUrl = AppSandbox::fileUrl(box.path() / "bad");
    EXPECT_FALSE(gf_updateDataPacks());
    EXPECT_EQ(gf_localPackVersion("db"), 2);
}

// The files carried with the program (no pack versions beside them) serve a first start without
// the server, whose failure the window names; once the server answers, its packs replace them.
TEST(Downloads, CarriedDataServeUntilTheServerAnswers)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    g_optMsfs2020.set(true);
    writeFile("input/airports_msfs.xml", "carried airports");
    writeFile("input/aircraftdb.xml", "carried database");
    writeFile("input/regcodes/TF.xml", "<registrations/>");
    writeFile("input/stock/BIKF.xml", "carried stock file");

    const fs::path nothing = box.path() / "nothing";
    g_serverBaseUrl = AppSandbox::fileUrl(nothing);
    EXPECT_FALSE(gf_updateDataPacks());
    EXPECT_EQ(readFile("input/airports_msfs.xml"), "carried airports");
    const std::string cause = "download of " + g_serverBaseUrl + "version.json failed: ";
    EXPECT_TRUE(gf_statusLineText().starts_with("Data packs not updated: " + cause)) << gf_statusLineText();
    EXPECT_NE(box.logText().find("===> data packs not updated: " + cause), std::string::npos) << box.logText();
    // The stock parking file as well: the carried one while the server does not answer.
    EXPECT_TRUE(gf_downloadStockApf("BIKF", "BIKF.xml"));
    EXPECT_EQ(readFile("BIKF.xml"), "carried stock file");
    EXPECT_FALSE(gf_downloadStockApf("EHAM", "EHAM.xml"));

    g_serverBaseUrl = AppSandbox::fileUrl(buildRoot(box, 1));
    ASSERT_TRUE(gf_updateDataPacks());
    EXPECT_NE(readFile("input/airports_msfs.xml").find("code=\"EHAM\""), std::string::npos);
    EXPECT_NE(readFile("input/aircraftdb.xml").find("B738"), std::string::npos);
    EXPECT_TRUE(fs::exists("input/regcodes/PH.xml"));
    EXPECT_TRUE(gf_downloadStockApf("BIKF", "BIKF.xml"));
    EXPECT_NE(readFile("BIKF.xml"), "carried stock file");
}

// A download that cannot be written (a full disk) says so, with the system's reason, on the error
// line; the start-up's update, left without an airport list by it, ends naming it instead of the
// list it would then miss ("File was not found").
TEST(Downloads, AFullDiskIsNamedWhereTheDownloadIsWritten)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    g_optMsfs2020.set(true);
    g_serverBaseUrl = AppSandbox::fileUrl(buildRoot(box, 7));
    auto handle = newHandle();
    tvxtest::FullDiskFolder full(box.path() / "download");
    const std::string expected = "download/version.json could not be written: " + full.cause();

    std::string problem;
    EXPECT_FALSE(gf_download(handle.get(), g_serverBaseUrl + "version.json", "download/version.json", 0, &problem));
    EXPECT_EQ(problem, expected);
    EXPECT_EQ(gf_errorLineText(), "Error " + expected);
    EXPECT_FALSE(fs::exists("download/version.json"));
    EXPECT_FALSE(fs::exists("download/version.json.part"));

    gf_clearErrorLine();
    try {
        gf_updateDataPacks();
        ADD_FAILURE() << "no airport list, and nothing said why";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), expected);
    }
    EXPECT_EQ(gf_errorLineText(), "Error " + expected);
}

}  // namespace

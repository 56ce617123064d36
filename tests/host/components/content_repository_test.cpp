// The repository reads documents of its content folder, and nothing outside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include <winport/windows.h>

#include "fresh_machine.h"
#include "host/components/content_repository.h"

namespace host_testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

class Repository : public testing::Test {
 protected:
  void SetUp() override {
    quillmere::host::InstallDefaultContent(folder);
    ASSERT_EQ(repository->GetSessionView(nullptr, view.GetAddressOf()), S_OK);
  }

  // The answer and the text.
  std::pair<HRESULT, std::string> ReadDocument(const std::string& path,
                                               const OLECHAR* mode = OLESTR("X")) {
    const winport::WideString wide = winport::Utf8ToWide(path);
    winport::ScopedBstr bstrPath;
    bstrPath.Reset(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    const winport::ScopedBstr bstrMode(mode);
    winport::ScopedBstr text;
    const HRESULT hr = view->ReadDocument(bstrPath.Get(), bstrMode.Get(), text.Receive());
    return {hr, winport::WideToUtf8(winport::BstrView(text.Get()))};
  }

  const fs::path prefix = testing_support::MachinePrefix();
  const fs::path folder = prefix / "content";
  winport::ComPtr<quillmere::IRepository> repository = quillmere::host::MakeRepository(folder);
  winport::ComPtr<quillmere::IRepositoryView> view;
};

TEST_F(Repository, TheShippedMenuIsInstalledUnlessAnAdministratorHasOne) {
  EXPECT_EQ(ReadDocument("\\mainmenu.xml"), std::make_pair(S_OK, FileText(SHIPPED_MAIN_MENU)));
  WriteFile(folder / "mainmenu.xml", "<QMSMENU name=\"mine\"/>");
  quillmere::host::InstallDefaultContent(folder);
  EXPECT_EQ(ReadDocument("\\mainmenu.xml").second, "<QMSMENU name=\"mine\"/>");
}

TEST_F(Repository, DocumentsAreReadAsUtf8Text) {
  WriteFile(folder / "sub" / "menu.xml", "\xEF\xBB\xBF<M>\xC3\x9C \xE2\x82\xAC</M>");
  WriteFile(folder / "empty.xml", "");
  for (const char* path : {"\\sub\\menu.xml", "/sub/menu.xml", "sub\\.\\menu.xml"})
    EXPECT_EQ(ReadDocument(path), std::make_pair(S_OK, "<M>\xC3\x9C \xE2\x82\xAC</M>"s)) << path;
  EXPECT_EQ(ReadDocument("\\empty.xml"), std::make_pair(S_OK, ""s));
  EXPECT_EQ(ReadDocument("\\mainmenu.xml", OLESTR("W")).first, E_INVALIDARG);
}

TEST_F(Repository, PathsStayInsideTheFolder) {
  WriteFile(prefix / "secret.xml", "<SECRET/>");
  WriteFile(prefix / "outside" / "secret.xml", "<SECRET/>");
  WriteFile(folder / "inner.xml", "<INNER/>");
  fs::create_directory_symlink(prefix / "outside", folder / "link");
  fs::create_symlink(prefix / "secret.xml", folder / "escape.xml");
  fs::create_symlink(folder / "inner.xml", folder / "alias.xml");
  fs::create_directories(folder / "sub");
  // A leading separator names the folder, so even a full path of this system stays inside.
  const std::pair<std::string, HRESULT> cases[] = {
      {"\\..\\secret.xml", E_ACCESSDENIED},
      {"\\sub\\..\\..\\secret.xml", E_ACCESSDENIED},
      {"..", E_ACCESSDENIED},
      {"C:\\secret.xml", E_ACCESSDENIED},
      {"\\\\server\\share\\secret.xml", E_ACCESSDENIED},
      {"\\link\\secret.xml", E_ACCESSDENIED},
      {"\\escape.xml", E_ACCESSDENIED},
      {"\\inner.xml\0/../../secret.xml"s, E_ACCESSDENIED},
      {"\\alias.xml", S_OK},
      {"\\missing.xml", S_FALSE},
      {"\\sub", S_FALSE},
      {"\\", S_FALSE},
      {(prefix / "secret.xml").string(), S_FALSE}};
  for (const auto& [path, hr] : cases) {
    const auto [answer, text] = ReadDocument(path);
    EXPECT_EQ(answer, hr) << path;
    EXPECT_TRUE(text.empty() || text == "<INNER/>") << path;
  }
}

}  // namespace
}  // namespace host_testing

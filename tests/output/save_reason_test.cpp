// The Save command's "Invalid Picture" box gives the reason the system gave
// for a refused write, as the batch run does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "infowindows/window_test_support.h"
#include "output/dib_test_pictures.h"
#include "output/picture_commands.h"
#include "runtime/linux/shell.h"

namespace {

// Answers the save dialog with a name given in advance.
struct SavingGui : window_test::QuietGui {
  std::string name;
  bool ShowSave(runtime::CommonDialog& dialog) override {
    dialog.FileName = name;
    return true;
  }
};

TEST(SaveCommand, ARefusedSaveShowsTheSystemsReason) {
  auto owned = std::make_unique<SavingGui>();
  SavingGui* gui = owned.get();
  runtime::SetGui(std::move(owned));
  runtime::PictureBox form("picS", nullptr);
  runtime::CommonDialog dialog("CommonDialog1", nullptr);
  const runtime::Picture picture = testpictures::MakePicture(16, 12);
  testshell::TempDir dir;
  const std::string closed = dir / "closed";
  ::mkdir(closed.c_str(), 0555);
  std::vector<std::pair<std::string, std::string>> cases = {{"/proc/x.jpg", "Permission denied: /proc/x.jpg"},
                                                            {"/proc/x.bmp", "Permission denied: /proc/x.bmp"}};
  if (::geteuid() != 0) cases.push_back({closed + "/x.jpg", "Permission denied: " + closed + "/x.jpg"});
  for (const auto& [name, reason] : cases) {
    gui->messages.clear();
    gui->name = name;
    output::SaveCommand(dialog, picture, form);
    EXPECT_EQ(gui->messages, std::vector<std::string>{reason}) << name;
  }
  runtime::SetGui(nullptr);
}

}  // namespace

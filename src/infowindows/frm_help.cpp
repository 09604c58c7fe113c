#include "infowindows/frm_help.h"

#include <string>

#include "infowindows/artwork.h"
#include "runtime/gdi.h"

namespace infowindows {

const std::array<std::string_view, 32>& frmHelp::HelpLines() {
  // The blanks in the parameter lines align the descriptions in one column
  // of the fixed-pitch font.
  static constexpr std::array<std::string_view, 32> kLines = {
      "Tessakit: Glimmet for Veltrix 1.0.2",
      "",
      "New: Glimmets support for JPG. Now a whole screen can be saved into a 0.1 Mb JPEG file",
      "instead of a 2 Mb bitmap file.",
      "",
      "",
      "Batch mode parameters: ",
      "",
      "[/WINDOWTEXT=text]      to select a window with a specific caption",
      "[/HWND=number]          to select a specific object",
      "[/SCREEN]               to select whole screen",
      "[/SAVE=text]            to save bitmap",
      "[/PRINT]                to print bitmap",
      "",
      "",
      "Example in Veltrix:",
      "",
      "Glimmet = 'C:\\Tessakit\\Glimmet\\Glimmet.exe'",
      "GrabWindowText = 'Veltrix: Defaultscherm'",
      "GrabBitmapSave = 'd:\\Grab.jpg'",
      "",
      "Exec(Glimmet + ' /WINDOWTEXT=' + GrabWindowText + ' /SAVE=' + GrabBitmapSave + ' /PRINT')",
      "",
      "or",
      "",
      "ret = FocusWindow()",
      "Exec(Glimmet + ' /HWND=' + ret + ' /SAVE=' + GrabBitmapSave + ' /PRINT')",
      "",
      "or",
      "",
      "Exec(Glimmet + ' /SCREEN' + ' /SAVE=' + GrabBitmapSave + ' /PRINT')",
      "",
  };
  return kLines;
}

frmHelp::frmHelp() : Form("frmHelp") { cmdClose.Click = [this] { cmdClose_Click(); }; }

void frmHelp::Design() {
  SetCaption("Help for Veltrix");
  SetClientSize(10215, 7605);
  BorderStyle = runtime::FormBorder::FixedSingle;
  StartUpPosition = 1;
  Icon = HelpIcon();

  Text1.MultiLine = true;
  Text1.ScrollBars = true;
  Text1.SetFont({"Courier New", 8.25, false});
  Text1.SetText("");
  Text1.Move(0, 0, 10215, 7095);
  cmdClose.SetCaption("&Close");
  cmdClose.Move(4560, 7200, 1095, 375);
}

void frmHelp::Form_Load() {
  topmost_.Call(*this, [this] { Restack(SetWindowPos, *this, runtime::HWND_TOPMOST); });

  // Rebuilt from the first line on every load, never appended to the old text.
  const auto& lines = HelpLines();
  Text1.SetText(std::string(lines[0]) + "\r\n");
  for (std::size_t i = 1; i < lines.size(); ++i) Text1.SetText(Text1.Text() + std::string(lines[i]) + "\r\n");
}

void frmHelp::Form_Activate() { topmost_.Activated(); }

void frmHelp::cmdClose_Click() { Unload(); }

frmHelp& frmHelpForm() {
  static frmHelp form;
  return form;
}

}  // namespace infowindows

#include "form/Design.h"

#include "form/Texts.h"

#include "text/Ascii.h"

namespace form {
namespace {

constexpr WindowDesign kMainWindow{"frmMain", kAppTitle, 12975, 7230, "MS Sans Serif", 8.25f, 400, 700};

using K = ControlKind;
using C = ControlId;
constexpr std::array<ControlDesign, kControlCount> kControls{{
    {C::lstLogSource, "lstLogSource", K::DropDownList, "", {1200, 90, 1050, 315}, 13, false, false, false},
    {C::CmdMore,
     "CmdMore",
     K::CommandButton,
     "&More Information..",
     {11295, 3315, 1605, 390},
     12,
     false,
     false,
     false},
    {C::txtTranscript, "txtTranscript", K::TextBox, "", {2415, 5370, 10500, 1740}, 8, false, true, true},
    {C::lstinstances, "lstinstances", K::ListBox, "", {2430, 3825, 10485, 1230}, 7, false, false, false},
    {C::txtErrorDescription,
     "txtErrorDescription",
     K::TextBox,
     "",
     {2490, 2355, 10410, 915},
     2,
     false,
     false,
     true},
    {C::LstErrors, "LstErrors", K::ListBox, "", {2460, 765, 10395, 1230}, 1, false, false, false},
    {C::lstFiles, "lstFiles", K::ListBox, "", {105, 765, 2160, 6300}, 0, false, false, false},
    {C::Label6, "Label6", K::Label, "Log Source:", {150, 150, 1170, 255}, 14, true, false, false},
    {C::lblLogFileRootDirectory,
     "lblLogFileRootDirectory",
     K::Label,
     "Value Log File Root Directory",
     {4080, 165, 8160, 255},
     11,
     false,
     false,
     false},
    {C::Label9, "Label9", K::Label, "Debug Log Path:", {2460, 165, 1575, 255}, 10, true, false, false},
    {C::lblTranscript,
     "lblTranscript",
     K::Label,
     "Transcript: (This is the portion of the SMTP Activity Log that references the event)",
     {2400, 5115, 9255, 195},
     9,
     false,
     false,
     false},
    {C::Label4,
     "Label4",
     K::Label,
     "Instance: (click on the actual message to view the message transcript)",
     {2445, 3585, 6765, 195},
     6,
     false,
     false,
     false},
    {C::Label3, "Label3", K::Label, "Log Files:", {120, 540, 1395, 195}, 5, false, false, false},
    {C::Label2,
     "Label2",
     K::Label,
     "Significant Event Instances: (Please click on the Event to see an explanation of its meaning)",
     {2445, 555, 7860, 195},
     4,
     false,
     false,
     false},
    {C::Label1, "Label1", K::Label, "Explanation:", {2460, 2115, 9585, 195}, 3, false, false, false},
}};

// By tab index; labels take no focus.
constexpr std::array<ControlId, 7> kTabOrder{C::lstFiles,     C::LstErrors,     C::txtErrorDescription,
                                             C::lstinstances, C::txtTranscript, C::CmdMore,
                                             C::lstLogSource};

// Above Exit, the commands that take the analysis further: the summary across days and the exports.
constexpr std::array<MenuItemDesign, 6> kFileItems{{
    {"mnuSummary", "&Summary of All Files...", MenuCommand::Summary},
    {"mnublank2", "-", MenuCommand::None},
    {"mnuExportEvents", "Export &Events...", MenuCommand::ExportEvents},
    {"mnuExportInstances", "Export &Instances...", MenuCommand::ExportInstances},
    {"mnublank3", "-", MenuCommand::None},
    {"mnuExit", "E&xit", MenuCommand::Exit},
}};
constexpr std::array<MenuItemDesign, 1> kViewItems{{
    {"mnuRefresh", "&Refresh", MenuCommand::Refresh, "F5"},
}};
constexpr std::array<MenuItemDesign, 4> kHelpItems{{
    {"mnuOnline", "&Online Help...", MenuCommand::OnlineHelp},
    {"mnuKB", "Online &Knowledge Base...", MenuCommand::KnowledgeBase},
    {"mnublank1", "-", MenuCommand::None},
    {"mnuAbout", "&About..", MenuCommand::About},
}};
constexpr std::array<MenuDesign, 3> kMenus{{
    {"mnuFile", "&File", kFileItems},
    {"mnuView", "&View", kViewItems},
    {"mnuHelp", "&Help", kHelpItems},
}};

constexpr DialogDesign kInstanceWindow{
    "frmErrorDescription", kErrorDescriptionCaption, 4605, 2700, "txtError", {120, 120, 4380, 2445}};

} // namespace

const WindowDesign& MainWindow() {
    return kMainWindow;
}

std::span<const ControlDesign, kControlCount> Controls() {
    return kControls;
}

const ControlDesign& Control(ControlId id) {
    return kControls[static_cast<std::size_t>(id)];
}

std::span<const ControlId> TabOrder() {
    return kTabOrder;
}

char AccessKey(std::string_view caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i; // "&&" is an ampersand
            continue;
        }
        return text::AsciiUpper(caption[i + 1]);
    }
    return 0;
}

std::span<const MenuDesign> Menus() {
    return kMenus;
}

const DialogDesign& InstanceWindow() {
    return kInstanceWindow;
}

void Form_Resize(float windowWidth, float windowHeight, ResizeControls& controls,
                 const WholeItemsHeight& instanceListHeight) {
    // Widths: the event list, the instance list and the transcript end 300 twips short of the right edge.
    const float a = windowWidth - controls.LstErrors.Left - 300.0f;
    if (a > 0.0f) {
        controls.LstErrors.Width = a;
        controls.lstinstances.Width = controls.LstErrors.Width;
        controls.txtTranscript.Width = controls.LstErrors.Width;
    }

    // The file list reaches down to 800 twips above the bottom edge.
    const float b = windowHeight - controls.lstFiles.Top - 800.0f;
    if (b > 0.0f)
        controls.lstFiles.Height = b;

    // The instance list takes what is left above the transcript label and box, which sit right under it.
    const float c = windowHeight - controls.lstinstances.Top - controls.txtTranscript.Height -
                    controls.lblTranscript.Height - 800.0f;
    if (c > 0.0f) {
        controls.lstinstances.Height = instanceListHeight ? instanceListHeight(c) : c;
        controls.lblTranscript.Top = controls.lstinstances.Top + controls.lstinstances.Height + 30.0f;
        controls.txtTranscript.Top = controls.lblTranscript.Top + controls.lblTranscript.Height;
    }
}

} // namespace form

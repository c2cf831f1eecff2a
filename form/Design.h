// The main window and the instance window as designed, as data: every control's name, kind, caption, place
// in twips, tab index and font weight, the menus, and the resize rules as a pure function over twips. Each
// front end builds its window from these tables, so the Qt window and the native Windows window are the
// same window.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

namespace form {

// 1440 twips to the inch; 15 twips per pixel at 96 dots per inch.
inline constexpr float kTwipsPerPixel = 15.0f;

// A place in twips, measured from the top left corner of the window's client area.
struct Box {
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// The controls of the main window, in the order of their definition.
enum class ControlId {
    lstLogSource,
    CmdMore,
    txtTranscript,
    lstinstances,
    txtErrorDescription,
    LstErrors,
    lstFiles,
    Label6,
    lblLogFileRootDirectory,
    Label9,
    lblTranscript,
    Label4,
    Label3,
    Label2,
    Label1,
};
inline constexpr std::size_t kControlCount = 15;

enum class ControlKind {
    DropDownList,  // a combo box whose text cannot be typed
    CommandButton, // "&" in the caption marks the access key
    TextBox,       // multi-line; the program replaces its text whole
    ListBox,       // one selected item, items in the order added, whole items shown
    Label,         // takes no focus
};

struct ControlDesign {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    std::string_view caption; // text at design time; "" for none
    Box place;
    int tabIndex;
    bool bold;             // weight 700; every other control is regular (400)
    bool horizontalScroll; // text boxes: a horizontal scroll bar (the lines do not wrap)
    bool verticalScroll;   // text boxes: a vertical scroll bar
};

// The main window's frame, font and size.
struct WindowDesign {
    std::string_view name;
    std::string_view caption;
    float clientWidth;  // twips
    float clientHeight; // twips
    std::string_view fontFace;
    float fontPoints;
    int regularWeight;
    int boldWeight;
};
const WindowDesign& MainWindow();

// Every control, in the order of their definition.
std::span<const ControlDesign, kControlCount> Controls();
const ControlDesign& Control(ControlId id);

// The controls that take the focus, in tab order (labels take none); the first one has the focus when
// the window opens: lstFiles, LstErrors, txtErrorDescription, lstinstances, txtTranscript, CmdMore,
// lstLogSource.
std::span<const ControlId> TabOrder();

// The letter after the first single "&" of a caption, in capitals; 0 when there is none ("&&" is an
// ampersand). Example: "&More Information.." -> 'M', "E&xit" -> 'X'.
char AccessKey(std::string_view caption);

// The menu bar. A separator's caption is "-". shortcut: the key that runs the item from anywhere in the
// main window, as its menu shows it ("F5"), or none.
enum class MenuCommand {
    None,
    Exit,
    OnlineHelp,
    KnowledgeBase,
    About,
    Summary,
    ExportEvents,
    ExportInstances,
    Refresh
};
struct MenuItemDesign {
    std::string_view name;
    std::string_view caption;
    MenuCommand command;
    std::string_view shortcut = {};
    bool separator() const { return caption == "-"; }
};
struct MenuDesign {
    std::string_view name;
    std::string_view caption;
    std::span<const MenuItemDesign> items;
};
std::span<const MenuDesign> Menus();

// The instance window: a fixed dialog frame centred on the main window, not in the taskbar, with one
// multi-line box without scroll bars that has the focus.
struct DialogDesign {
    std::string_view name;
    std::string_view caption;
    float clientWidth;
    float clientHeight;
    std::string_view boxName;
    Box box;
};
const DialogDesign& InstanceWindow();

// The controls that follow the window's size. Every other control keeps its place.
struct ResizeControls {
    Box LstErrors;
    Box lstinstances;
    Box txtTranscript;
    Box lstFiles;
    Box lblTranscript;
};

// The height a list really takes when it is asked for `requested` twips: lists show whole items only, so
// this may be slightly less than asked.
using WholeItemsHeight = std::function<float(float requested)>;

// The resize rules, applied in order to `controls` given the window's outer width and height in twips, in
// single-precision arithmetic: the event list, the instance list and the transcript end 300 short of the
// right edge; the file list ends 800 above the bottom edge; the instance list takes the height left over
// above the transcript label and box, which move down with it. A rule whose computed size is not above 0
// leaves its controls as they were. instanceListHeight: the height the instance list takes when asked for
// a height (empty: as asked).
void Form_Resize(float windowWidth, float windowHeight, ResizeControls& controls,
                 const WholeItemsHeight& instanceListHeight);

} // namespace form

// The main window as the template stores it: every unit, its place, flags,
// event bindings and property block. The bytes must stay exactly as they are
// (2,114 in all): a change here changes the stored window.
#include "main_window.h"

#include "handler_table.h"

#include <string>

namespace app {
namespace {

// Unit record flags.
constexpr uint32_t kVisible = 1;
constexpr uint32_t kDisabled = 2;
constexpr uint32_t kTabStop = 4;

constexpr uint32_t kDefaultColour = 0xFF000000; // the system's button face
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

// Carried with the window record, not interpreted.
constexpr uint32_t kWordA = 0x00B82144;
constexpr uint32_t kWordB = 0x1901002B;

// Event numbers bound here.
constexpr int32_t kWindowCreated = 0;
constexpr int32_t kContentChanged = 0;
constexpr int32_t kClicked = 0;

const char kCaption[] = "普通话语音合成工具 - 输入文字即可生成MP3音频";
const char kReadmeAddress[] = "http://127.0.0.1:8925/readme.html";

// One line without breaks: the runs of spaces wrap it into lines in the
// 550-pixel box.
std::string UsageNotes() {
    return std::string("这是一个比较神奇的东西,可以直接输入文本然后点生成就可以将文本转换成"
                       "普通话音频!支持数字、字母、汉字的混合输入。说明：") +
           std::string(49, ' ') + "1、输入文本" + std::string(43, ' ') + "2、点击“语音合成”按钮" +
           std::string(32, ' ') + "3、点击“播放”按钮试听。" + std::string(29, ' ') +
           "所生成音频文件自动保存在程序目录中，也可以另存为。" + std::string(14, ' ') +
           "注意，不要输入换行，换行后不支持！";
}

// A 60-byte font description (the system's LOGFONTA layout).
struct FontDescription {
    int32_t height{}, width{}, escapement{}, orientation{}, weight{};
    uint8_t italic{}, underline{}, strikeOut{}, charSet{}, outPrecision{}, clipPrecision{},
        quality{}, pitchAndFamily{};
    std::string face{}; // at most 31 bytes
};

std::vector<uint8_t> FontBytes(const FontDescription& f) {
    st::PropertyWriter w;
    for (int32_t v : {f.height, f.width, f.escapement, f.orientation, f.weight})
        w.I32(v);
    std::vector<uint8_t> bytes = w.Take();
    for (uint8_t v : {f.italic, f.underline, f.strikeOut, f.charSet, f.outPrecision,
                      f.clipPrecision, f.quality, f.pitchAndFamily})
        bytes.push_back(v);
    std::string face = f.face.substr(0, 31);
    face.resize(32, '\0');
    bytes.insert(bytes.end(), face.begin(), face.end());
    return bytes;
}

// The property blocks, field by field in stored order.

struct WindowBlock {
    int32_t borderStyle{}, pictureLayout{};
    uint32_t background{};
    int32_t maximiseButton{}, minimiseButton{}, controlBox{}, position{}, movable{}, musicPlaying{},
        enterMovesFocus{}, escCloses{}, f1OpensHelp{}, helpTopic{}, shownInTaskbar{},
        draggingMoves{}, shape{}, alwaysOnTop{}, titleStaysActive{};
    std::string className{};
    std::vector<uint8_t> picture{}, icon{}, music{};
    std::string caption{}, helpFile{};
};

std::vector<uint8_t> Write(const WindowBlock& b) {
    st::PropertyWriter w;
    w.I32(6); // version
    for (int32_t v : {b.borderStyle, b.pictureLayout, int32_t(b.background), b.maximiseButton,
                      b.minimiseButton, b.controlBox, b.position, b.movable, b.musicPlaying,
                      b.enterMovesFocus, b.escCloses, b.f1OpensHelp, b.helpTopic, b.shownInTaskbar,
                      b.draggingMoves, b.shape, b.alwaysOnTop, b.titleStaysActive})
        w.I32(v);
    w.Text(b.className);
    w.Bytes(b.picture);
    w.Bytes(b.icon);
    w.Bytes(b.music);
    w.Text(b.caption);
    w.Text(b.helpFile);
    return w.Take();
}

struct EditBoxBlock {
    int32_t borderStyle{};
    uint32_t textColour{}, background{};
    int32_t hideSelection{}, maximumLength{}, multiLine{}, scrollBars{}, alignment{}, inputMode{};
    int16_t passwordChar{};
    int32_t letterCase{}, upDown{}, lowerBound{}, upperBound{}, selectionStart{}, selectionLength{};
    std::vector<uint8_t> font{};
    std::string content{}, dataSource{}, dataColumn{};
};

std::vector<uint8_t> Write(const EditBoxBlock& b) {
    st::PropertyWriter w;
    w.I32(2); // version
    for (int32_t v : {b.borderStyle, int32_t(b.textColour), int32_t(b.background), b.hideSelection,
                      b.maximumLength, b.multiLine, b.scrollBars, b.alignment, b.inputMode})
        w.I32(v);
    w.I16(b.passwordChar);
    for (int32_t v :
         {b.letterCase, b.upDown, b.lowerBound, b.upperBound, b.selectionStart, b.selectionLength})
        w.I32(v);
    w.Bytes(b.font);
    w.Text(b.content);
    w.Text(b.dataSource);
    w.Text(b.dataColumn);
    return w.Take();
}

struct ButtonBlock {
    int32_t type{}, horizontalAlignment{}, verticalAlignment{};
    std::vector<uint8_t> picture{}, font{};
    std::string caption{};
};

std::vector<uint8_t> Write(const ButtonBlock& b) {
    st::PropertyWriter w;
    w.I32(1); // version
    for (int32_t v : {b.type, b.horizontalAlignment, b.verticalAlignment})
        w.I32(v);
    w.Bytes(b.picture);
    w.Bytes(b.font);
    w.Text(b.caption);
    return w.Take();
}

struct CheckBoxBlock {
    int32_t pushLike{}, flat{}, boxOnRight{}, horizontalAlignment{}, verticalAlignment{};
    uint32_t textColour{}, background{};
    int32_t checked{};
    std::vector<uint8_t> picture{}, font{};
    std::string caption{}, dataSource{}, dataColumn{};
};

std::vector<uint8_t> Write(const CheckBoxBlock& b) {
    st::PropertyWriter w;
    w.I32(2); // version
    for (int32_t v : {b.pushLike, b.flat, b.boxOnRight, b.horizontalAlignment, b.verticalAlignment,
                      int32_t(b.textColour), int32_t(b.background), b.checked})
        w.I32(v);
    w.Bytes(b.picture);
    w.Bytes(b.font);
    w.Text(b.caption);
    w.Text(b.dataSource);
    w.Text(b.dataColumn);
    return w.Take();
}

struct HyperlinkBlock {
    int32_t linkKind{};
    uint32_t textColour{}, openedColour{}, hoverColour{}, background{};
    int32_t borderStyle{};
    std::vector<uint8_t> font{};
    std::string caption{}, mailAddress{}, webAddress{};
};

std::vector<uint8_t> Write(const HyperlinkBlock& b) {
    st::PropertyWriter w;
    w.I32(1); // version
    for (int32_t v : {b.linkKind, int32_t(b.textColour), int32_t(b.openedColour),
                      int32_t(b.hoverColour), int32_t(b.background), b.borderStyle})
        w.I32(v);
    w.Bytes(b.font);
    w.Text(b.caption);
    w.Text(b.mailAddress);
    w.Text(b.webAddress);
    return w.Take();
}

struct CommonDialogBlock {
    int32_t mode{}, initialFilter{}, askBeforeCreating{}, fileMustExist{}, askBeforeOverwriting{},
        folderMustExist{}, keepCurrentDirectory{};
    uint32_t fontColour{};
    int32_t bold{}, italic{}, strikeOut{}, underline{}, fontSize{}, helpCommand{}, helpTopic{};
    std::string title{}, fileName{}, filter{}, initialFolder{}, defaultExtension{}, fontFace{},
        helpFile{};
};

std::vector<uint8_t> Write(const CommonDialogBlock& b) {
    st::PropertyWriter w;
    w.I32(1); // version
    for (int32_t v :
         {b.mode, b.initialFilter, b.askBeforeCreating, b.fileMustExist, b.askBeforeOverwriting,
          b.folderMustExist, b.keepCurrentDirectory, int32_t(b.fontColour), b.bold, b.italic,
          b.strikeOut, b.underline, b.fontSize, b.helpCommand, b.helpTopic})
        w.I32(v);
    for (const std::string* t : {&b.title, &b.fileName, &b.filter, &b.initialFolder,
                                 &b.defaultExtension, &b.fontFace, &b.helpFile})
        w.Text(*t);
    return w.Take();
}

ButtonBlock PlainButton(const char* caption) {
    return {.type = 0, .horizontalAlignment = 1, .verticalAlignment = 1, .caption = caption};
}

} // namespace

st::WindowDescription MainWindowDescription() {
    st::WindowDescription w;
    w.id = kMainWindow;
    w.wordA = kWordA;
    w.wordB = kWordB;

    st::UnitDescription& self = w.Add(unit::Window, type::Window);
    self.SetGeometry(50, 50, 559, 261).flags = kVisible;
    self.On(kWindowCreated, HandlerOffset(Handler::OnMainWindowCreated));
    self.properties = Write(WindowBlock{
        .borderStyle = 2, // fixed dialog frame
        .pictureLayout = 1,
        .background = kDefaultColour,
        .maximiseButton = 0,
        .minimiseButton = 1,
        .controlBox = 1,
        .position = 1, // centred on the screen
        .movable = 1,
        .musicPlaying = 0,
        .enterMovesFocus = 0,
        .escCloses = 1,
        .f1OpensHelp = 0,
        .helpTopic = 0,
        .shownInTaskbar = 1,
        .draggingMoves = 0,
        .shape = 0,
        .alwaysOnTop = 0,
        .titleStaysActive = 0,
        .caption = kCaption,
    });

    // The link's words stand beside the check box's square, over the check
    // box's own (empty) text area: the link is above it in the record order.
    st::UnitDescription& link = w.Add(unit::Link, type::Hyperlink, "超级链接框1");
    link.SetGeometry(445, 195, 96, 24).flags = kVisible;
    link.properties = Write(HyperlinkBlock{
        .linkKind = 1, // web address
        .textColour = 0xFF0000,
        .openedColour = 0x000080,
        .hoverColour = 0xFF9933,
        .background = kDefaultColour,
        .borderStyle = 0,
        .caption = "自动保存音频文件",
        .webAddress = kReadmeAddress,
    });

    st::UnitDescription& dialog = w.Add(unit::SaveDialog, type::CommonDialog, "通用对话框1");
    dialog.SetGeometry(24, 200, 24, 16).flags = 0; // windowless: never shown
    dialog.properties = Write(CommonDialogBlock{
        .mode = 1, // save a file
        .initialFilter = 0,
        .askBeforeCreating = 0,
        .fileMustExist = 1,
        .askBeforeOverwriting = 1,
        .folderMustExist = 1,
        .keepCurrentDirectory = 0,
        .fontColour = kBlack,
        .filter = "MP3|*.MP3",
        .defaultExtension = "MP3",
    });

    st::UnitDescription& autoSave = w.Add(unit::AutoSave, type::CheckBox, "选择框1");
    autoSave.SetGeometry(424, 200, 120, 16).flags = kVisible | kTabStop;
    autoSave.properties = Write(CheckBoxBlock{
        .pushLike = 0,
        .flat = 0,
        .boxOnRight = 0,
        .horizontalAlignment = 0,
        .verticalAlignment = 1,
        .textColour = kBlack,
        .background = kDefaultColour,
        .checked = 1,
    });

    struct ButtonRow {
        uint32_t id;
        const char* name;
        int32_t left;
        uint32_t flags;
        Handler onClick;
        const char* caption;
    };
    const ButtonRow buttons[] = {
        {unit::SaveAsButton, "按钮3", 320, kVisible | kDisabled | kTabStop, Handler::OnSaveAsClick,
         "另存为"},
        {unit::PlayButton, "按钮2", 205, kVisible | kDisabled | kTabStop, Handler::OnPlayClick,
         "播放"},
        {unit::SynthesizeButton, "按钮1", 87, kVisible | kTabStop, Handler::OnSynthesizeClick,
         "语音合成"},
    };
    for (const ButtonRow& b : buttons) {
        st::UnitDescription& button = w.Add(b.id, type::Button, b.name);
        button.SetGeometry(b.left, 194, 80, 30).flags = b.flags;
        button.On(kClicked, HandlerOffset(b.onClick));
        button.properties = Write(PlainButton(b.caption));
    }

    st::UnitDescription& text = w.Add(unit::TextBox, type::EditBox, "编辑框1");
    text.SetGeometry(2, 3, 550, 181).flags = kVisible | kTabStop;
    text.On(kContentChanged, HandlerOffset(Handler::ResetAudioState));
    text.properties = Write(EditBoxBlock{
        .borderStyle = 1,
        .textColour = kBlack,
        .background = kWhite,
        .hideSelection = 1,
        .maximumLength = 0, // no limit
        .multiLine = 1,
        .scrollBars = 2, // vertical
        .alignment = 0,
        .inputMode = 0,
        .passwordChar = '*',
        .letterCase = 0,
        .upDown = 0,
        .lowerBound = 0,
        .upperBound = 100,
        .selectionStart = 0,
        .selectionLength = 0,
        .font = FontBytes({.height = -19, .weight = 400, .charSet = 134 /* GB2312 */}),
        .content = UsageNotes(),
    });
    return w;
}

const std::vector<uint8_t>& MainWindowSegment() {
    static const std::vector<uint8_t> segment = st::BuildTemplateSegment({MainWindowDescription()});
    return segment;
}

} // namespace app

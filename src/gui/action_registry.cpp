// TActionRegistry: the command table of the main window and the menus built from it.
#include "gui/action_registry.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "gui/qt_text.h"

namespace tessaly::gui {

namespace {

enum : unsigned { afCheck = 1, afSeparator = 2, afMarkerSize = 4, afHidden = 8 };

// One command: the menu it stands in (object name; "" for window-only keys), its
// object name, English caption, shortcut and flags. A menu entry whose name starts with
// "Menu" opens a sub-menu that the following entries with that menu name fill.
struct TCommand {
    const char *Menu;
    const char *Name;
    const char *Caption;
    const char *Shortcut;
    unsigned Flags;
};

const TCommand kCommands[] = {
    {"FileMenu", "FileNewItem", "&New", "", 0},
    {"FileMenu", "FileOpenItem", "&Open project ...", "F3", 0},
    {"FileMenu", "FileSaveItem", "&Save project", "F2", 0},
    {"FileMenu", "FileSaveAsItem", "Save project &as ...", "", 0},
    {"FileMenu", "FileRevertItem", "&Revert to saved ...", "", 0},
    {"FileMenu", "MenuFileRecent", "Recent pro&jects", "", 0},
    {"FileMenu", "FileOpenVideoItem", "Open &video file ...", "", afSeparator},
    {"FileMenu", "FileOpenAudioItem", "Open a&udio file ...", "", 0},
    {"FileMenu", "FileOpenDoubleItem", "Open &double audio file ...", "", 0},
    {"FileMenu", "FileOpenRefItem", "Open re&ference video ...", "", 0},
    {"FileMenu", "FilePhantomItem", "&Create phantom video clip ...", "", 0},
    {"FileMenu", "FilePropertiesItem", "&Properties ...", "", afSeparator},
    {"FileMenu", "FileQuitItem", "&Quit", "Alt+X", afSeparator},
    {"EditMenu", "EditUndoItem", "&Undo", "Ctrl+Z", 0},
    {"EditMenu", "EditRedoItem", "&Redo", "Ctrl+Shift+Z", 0},
    {"ProjectMenu", "ProjectGotoItem", "&Go to frame ...", "F5", 0},
    {"ProjectMenu", "ProjectViewOffsetItem", "Set &view offset ...", "Ctrl+F5", 0},
    {"ProjectMenu", "ProjectAnalyzeItem", "&Analyze project ...", "F6", afSeparator},
    {"ProjectMenu", "ProjectSuggestItem", "S&uggest markers ...", "Ctrl+F6", 0},
    {"ProjectMenu", "ProjectInsertChaptersItem", "Insert &chapters ...", "", 0},
    {"ProjectMenu", "ProjectStartOffsetItem", "Change start &offset ...", "", 0},
    {"ProjectMenu", "ProjectCalcItem", "&Start calculation ...", "F9", afSeparator},
    {"PreviewMenu", "PreviewStartItem", "&Start / Stop", "Space", 0},
    {"PreviewMenu", "PreviewAroundItem", "&Around current position", "", afSeparator},
    {"PreviewMenu", "PreviewFromItem", "&From current position", "", 0},
    {"PreviewMenu", "PreviewToItem", "&To current position", "", 0},
    {"PreviewMenu", "PreviewMuteAudioItem", "Mute &Audio", "", afSeparator | afCheck},
    {"PreviewMenu", "PreviewMuteDoubleItem", "Mute &Double audio", "", afCheck},
    {"PreviewMenu", "PreviewPrescanItem", "Scan from &begin", "", afSeparator | afCheck},
    {"PreviewMenu", "MenuPreviewExtended", "E&xtended", "", 0},
    {"MenuPreviewExtended", "PreviewOriginalSizeItem", "&Original size", "", afCheck},
    {"MenuPreviewExtended", "PreviewForceVfwItem", "Force &VfW-compatibility", "", afCheck},
    {"MenuPreviewExtended", "PreviewFlipItem", "&Flip image", "", afCheck},
    {"ViewMenu", "ViewFileAreaItem", "Source file &area", "", afCheck},
    {"ViewMenu", "ViewStatusBarItem", "&Status bar", "", afCheck},
    {"ViewMenu", "MenuViewMarkerSize", "&Marker size", "", 0},
    {"MenuViewMarkerSize", "ViewMarkerSize1Item", "&Normal", "", afCheck | afMarkerSize},
    {"MenuViewMarkerSize", "ViewMarkerSize2Item", "&Large", "", afCheck | afMarkerSize},
    {"MenuViewMarkerSize", "ViewMarkerSize3Item", "&Extra large", "", afCheck | afMarkerSize},
    {"ViewMenu", "ViewCurveItem", "&Correction curve window", "", afSeparator},
    {"ViewMenu", "ViewOptimizationItem", "&Optimization window", "", 0},
    {"ViewMenu", "ViewReferenceItem", "&Reference video", "", afCheck},
    {"ViewMenu", "ViewFitItem", "&Fit to window", "", afSeparator | afCheck},
    {"OptionsMenu", "MenuOptionsLanguage", "&Language", "", 0},
    {"OptionsMenu", "OptionsGlobalItem", "&Global settings ...", "", afSeparator},
    {"OptionsMenu", "OptionsProjectItem", "&Project settings ...", "", 0},
    {"HelpMenu", "HelpContentsItem", "Help &contents ...", "F1", 0},
    {"HelpMenu", "HelpTutorialItem", "Tutorial &projects ...", "", 0},
    {"HelpMenu", "HelpOnHelpItem", "Help &on Help ...", "", 0},
    {"HelpMenu", "HelpHintsItem", "Show &hints", "", afSeparator | afCheck},
    {"HelpMenu", "HelpAboutItem", "&About ...", "", afSeparator},
    {"MarkerListMenu", "ListViewOffsetItem", "Set view &offset to cut value", "", 0},
    {"MarkerListMenu", "ListJumpCutEndItem", "&Jump to cut end", "", 0},
    // Keys of the window without a menu entry: stepping through the video, removing
    // the double track and the reference video (file panel buttons).
    {"", "StepBackItem", "Previous frame", "Left", 0},
    {"", "StepForwardItem", "Next frame", "Right", 0},
    {"", "SecondBackItem", "One second back", "PgUp", 0},
    {"", "SecondForwardItem", "One second forward", "PgDown", 0},
    {"", "FirstFrameItem", "First frame", "Home", 0},
    {"", "LastFrameItem", "Last frame", "End", 0},
    {"", "PrevMarkerItem", "Previous marker", "Ctrl+Left", 0},
    {"", "NextMarkerItem", "Next marker", "Ctrl+Right", 0},
    {"", "PrevKeyFrameItem", "Previous key frame", "Ctrl+Shift+Left", 0},
    {"", "NextKeyFrameItem", "Next key frame", "Ctrl+Shift+Right", 0},
    {"", "RemoveDoubleItem", "Remove double audio entry", "", 0},
    {"", "RemoveRefItem", "Remove reference video entry", "", 0},
};

const struct {
    const char *Name;
    const char *Caption;
} kMenus[] = {{"FileMenu", "&File"},       {"EditMenu", "&Edit"},    {"ProjectMenu", "&Project"},
              {"PreviewMenu", "P&review"}, {"ViewMenu", "&View"},    {"OptionsMenu", "&Options"},
              {"HelpMenu", "&Help"}};

// Second keys that users of other programs expect beside the F-keys.
const struct {
    const char *Name;
    const char *Shortcut;
} kSecondKeys[] = {{"FileNewItem", "Ctrl+N"},     {"FileOpenItem", "Ctrl+O"}, {"FileSaveItem", "Ctrl+S"},
                   {"FileSaveAsItem", "Ctrl+Shift+S"}, {"FileQuitItem", "Ctrl+Q"}, {"EditRedoItem", "Ctrl+Y"}};

} // namespace

TActionRegistry::TActionRegistry(QWidget *window) : QObject(window), FWindow(window)
{
    FMarkerSizeGroup = new QActionGroup(this);
    FLanguageGroup = new QActionGroup(this);
    for (const TCommand &c : kCommands) {
        if (QLatin1String(c.Name).startsWith(QLatin1String("Menu")))
            continue;
        auto *action = new QAction(QString::fromUtf8(c.Caption), window);
        action->setObjectName(QLatin1String(c.Name));
        if (*c.Shortcut)
            action->setShortcut(QKeySequence(QLatin1String(c.Shortcut)));
        action->setCheckable(c.Flags & afCheck);
        if (c.Flags & afMarkerSize)
            FMarkerSizeGroup->addAction(action);
        // Every action is part of the window so that its key works without a menu.
        window->addAction(action);
        FByName[action->objectName()] = action;
        FOrder.push_back(action);
    }
    for (const auto &k : kSecondKeys) {
        QAction *action = FByName[QLatin1String(k.Name)];
        QList<QKeySequence> keys = action->shortcuts();   // the F-key stays the first (shown in the menu)
        keys.append(QKeySequence(QLatin1String(k.Shortcut)));
        action->setShortcuts(keys);
    }
}

QAction *TActionRegistry::Action(const QString &name) const
{
    auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : it->second;
}

void TActionRegistry::BuildMenus(QMenuBar *bar)
{
    std::map<QString, QMenu *> menus;
    for (const auto &m : kMenus) {
        QMenu *menu = bar->addMenu(QString::fromUtf8(m.Caption));
        menu->setObjectName(QLatin1String(m.Name));
        menus[menu->objectName()] = menu;
        FMenus.push_back(menu);
    }
    FMarkerListMenu = new QMenu(FWindow);
    FMarkerListMenu->setObjectName(QStringLiteral("MarkerListMenu"));
    menus[FMarkerListMenu->objectName()] = FMarkerListMenu;
    FMenus.push_back(FMarkerListMenu);
    for (const TCommand &c : kCommands) {
        auto parent = menus.find(QLatin1String(c.Menu));
        if (parent == menus.end())
            continue;
        if ((c.Flags & afSeparator) && !parent->second->isEmpty())
            parent->second->addSeparator();
        if (QLatin1String(c.Name).startsWith(QLatin1String("Menu"))) {
            QMenu *sub = parent->second->addMenu(QString::fromUtf8(c.Caption));
            sub->setObjectName(QLatin1String(c.Name));
            menus[sub->objectName()] = sub;
            FMenus.push_back(sub);
            if (sub->objectName() == QLatin1String("MenuOptionsLanguage"))
                FLanguageMenu = sub;
            continue;
        }
        parent->second->addAction(FByName[QLatin1String(c.Name)]);
    }
}

void TActionRegistry::SetLanguages(const std::vector<std::string> &names, const std::string &current)
{
    if (!FLanguageMenu)
        return;
    for (QAction *a : FLanguageGroup->actions()) {
        FLanguageGroup->removeAction(a);
        delete a;
    }
    FLanguageMenu->clear();
    for (size_t i = 0; i < names.size(); ++i) {
        QAction *a = FLanguageMenu->addAction(Q(names[i]));
        a->setObjectName(QStringLiteral("LanguageItem%1").arg(i));
        a->setCheckable(true);
        a->setChecked(names[i] == current);
        FLanguageGroup->addAction(a);
        const QString name = Q(names[i]);
        connect(a, &QAction::triggered, this, [this, name] { emit LanguageChosen(name); });
    }
    FLanguageMenu->menuAction()->setVisible(!names.empty());
}

} // namespace tessaly::gui

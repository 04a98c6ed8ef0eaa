#include "app/windows.h"

#include <QMenu>

#include "app/program.h"
#include "editors/bit_toggle_editor.h"
#include "editors/editor_specs.h"
#include "main_window/main_window.h"

namespace kestrel {

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const QString kConfigMenu = QStringLiteral("&Config Regs");
const QString kDiagram = QStringLiteral("frm_Config");

void registerEditors(Program& program) {
    WindowRegistry& windows = program.windows();
    MainWindow& main = program.mainWindow();
    for (const editors::EditorSpec& spec : editors::allEditors()) {
        const QString name = q(spec.windowName);
        windows.add(name, [&program, &spec] {
            auto* editor = new BitToggleEditor(spec, program.device(),
                                               [&program] { program.windows().show(kDiagram, false); });
            editor->Form_Load();
            return editor;
        });
        main.addWindowEntry(kConfigMenu, q(spec.menuName), q(spec.menuCaption), name, false);
    }
}

}  // namespace

void registerWindows(Program& program) {
    MainWindow& main = program.mainWindow();
    QMenu* config = main.menu(kConfigMenu);
    config->setObjectName(QStringLiteral("mnuCFG"));
    registerEditors(program);
}

}  // namespace kestrel

#include "main_window/eeprom_backup_actions.h"

#include <QFileInfo>
#include <QProgressBar>
#include <algorithm>

#include "bus/durable_file.h"
#include "device/text_rules.h"
#include "files/eeprom_backup.h"
#include "files/image_file.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::qstr;
using ui::str;

namespace {

std::string failure(unsigned address, const std::string& problem) {
    return "at " + text::addressText(address) + "h: " + eeprom::inSentence(problem);
}

// The files layer's progress, as a job reports it; a stop ends the run.
eeprom::Progress jobProgress(JobControl& c) {
    return [&c](int done, int total) {
        c.progress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
        return !c.stopRequested();
    };
}

}  // namespace

EepromBackupActions::EepromBackupActions(Dialogs& dialogs, QWidget& window, JobProgress& progress,
                                         std::function<void(const QString&)> notify)
    : dialogs_(dialogs), window_(window), progress_(progress), notify_(std::move(notify)) {}

void EepromBackupActions::backUp() {
    const QString path = dialogs_.saveFileName(&window_, fileDialog_);
    if (path.isEmpty()) return;
    struct Read {
        eeprom::Run run;
        std::optional<eeprom::Image> image;
    };
    progress_.run(
        &window_,
        [](JobControl& c) {
            Read r;
            r.image = eeprom::readAll(c.device(), r.run, jobProgress(c));
            return r;
        },
        [this, path](Read& r) {
            if (!r.image) {
                if (r.run.refused())
                    notify_(qstr("EEPROM backup stopped: " + r.run.refusal + " " +
                                 r.run.failedAddresses() + " not read. Nothing was saved."));
                else if (const eeprom::Step* bad = r.run.firstFailure())
                    notify_(qstr("EEPROM backup failed " + failure(bad->address, bad->problem) +
                                 "; " + r.run.failedAddresses() + " not read. Nothing was saved."));
                return;
            }
            std::string error;
            if (!durable::replaceFile(str(path), eeprom::imageText(*r.image), error)) {
                notify_(qstr("EEPROM backup not saved: " + error));
                dialogs_.warn(&window_, kProgramTitle, qstr(text::sentence(error)));
                return;
            }
            notify_(QStringLiteral("EEPROM 8000h-81FFh saved to %1.").arg(path));
        });
}

void EepromBackupActions::restore() {
    const QString path = dialogs_.openFileName(&window_, fileDialog_);
    if (path.isEmpty()) return;
    std::string bytes, error;
    std::optional<eeprom::Image> image;
    if (image_file::readSmallFile(str(path), image_file::kMaxFileBytes, bytes, &error))
        image = eeprom::parseImage(bytes, &error);
    if (!image) {
        const QString text = QStringLiteral("%1 is not an EEPROM backup: %2")
                                 .arg(QFileInfo(path).fileName(), qstr(error));
        notify_(text);
        dialogs_.warn(&window_, kProgramTitle, text);
        return;
    }
    const auto answer = dialogs_.askYesNo(
        &window_, kProgramTitle,
        QStringLiteral("Erase the whole EEPROM (8000h-81FFh) and write %1 into it?")
            .arg(QFileInfo(path).fileName()));
    if (answer != Dialogs::Answer::Yes) {
        notify_(QStringLiteral("EEPROM restore cancelled; nothing was erased or written."));
        return;
    }
    progress_.run(
        &window_,
        [image = *image](JobControl& c) {
            return eeprom::writeAll(c.device(), image, jobProgress(c));
        },
        [this, path](eeprom::RestoreResult& result) { restored(path, result); });
}

void EepromBackupActions::restored(const QString& path, const eeprom::RestoreResult& result) {
    const auto& failures = result.verify.failures;
    const eeprom::Step* bad = result.erased.firstFailure();
    if (bad == nullptr) bad = result.written.firstFailure();
    const auto readFault = std::find_if(failures.begin(), failures.end(),
                                        [](const auto& f) { return !f.problem.empty(); });
    if (!result.refusal.empty()) {
        notify_(qstr("EEPROM restore stopped " + eeprom::whereRestoreStopped(result) + " (" +
                     result.refusal + "). The EEPROM may be partly written; restore again."));
    } else if (bad != nullptr || readFault != failures.end()) {
        notify_(qstr("EEPROM restore failed " +
                     (bad != nullptr ? failure(bad->address, bad->problem)
                                     : failure(readFault->address, readFault->problem)) +
                     ". The EEPROM may be partly written; restore again."));
    } else if (!failures.empty()) {
        const auto& m = failures.front();
        notify_(qstr("EEPROM restore: " + std::to_string(failures.size()) +
                     " bytes read back wrong, first at " + text::addressText(m.address) +
                     "h (wrote " + text::byteText(static_cast<unsigned>(m.expected)) + ", read " +
                     text::byteText(static_cast<unsigned>(m.read)) + ")."));
    } else {
        notify_(QStringLiteral("EEPROM restored from %1 and verified.").arg(path));
    }
}

}  // namespace kestrel

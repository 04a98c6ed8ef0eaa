#pragma once

#include <linux/i2c.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/program.h"
#include "connection/simulated_i2c_adapter.h"
#include "main_window/main_window.h"
#include "support/fake_clock.h"
#include "support/scripted_dialogs.h"

// Failure messages show a QString as its text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace kestrel::testing {

// A whole file's bytes (empty when it cannot be read), and a file written whole.
// Upper-case hex digits, padded with zeros to `digits`: expected texts
// written without the program's own text helpers.
inline QString hex(unsigned value, int digits = 0) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline QString writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    EXPECT_EQ(f.write(data), data.size()) << path.toStdString();
    return path;
}

// The complete program on a simulated board, in-process, with scripted
// dialogs and a fake clock for the EEPROM waits.
struct AppRig {
    ScriptedDialogs dialogs;
    FakeClock clock;
    QTemporaryDir backups;  // where automatic EEPROM backups go
    std::unique_ptr<Program> program;
    std::uint32_t lastTick = 0;
    std::uint64_t micros = 0;

    // `adjust` changes the program's options before it is built.
    explicit AppRig(PortAccess* port = nullptr,
                    const std::function<void(ProgramOptions&)>& adjust = {}) {
        ProgramOptions options;
        options.connection.simulate = true;
        options.connection.port = port;
        options.dialogs = &dialogs;
        options.connection.waitHooks = clock.hooks();
        // Automatic backups stay in the test's own folder.
        options.backupFolder = [this] { return backups.path().toStdString(); };
        // The whole suite can run through the I2C adapter's executor, its
        // calls answered by the simulated wire.
        if (const char* adapter = std::getenv("KESTREL_TEST_I2C_ADAPTER");
            adapter != nullptr && std::string(adapter) == "1")
            options.connection.i2cAdapter = "/dev/i2c-0";
        if (adjust) adjust(options);
        const bool onAdapter = !options.connection.i2cAdapter.empty();
        program = std::make_unique<Program>(std::move(options));
        if (sim::SimulatedBoard* board = program->board()) {
            board->kestrel().setStatusActivity(false);
            // The chip's busy time runs on the fake clock of the waits.
            board->setClock([this] {
                micros += static_cast<std::uint64_t>(clock.now - lastTick) * 1000;
                lastTick = clock.now;
                return micros;
            });
            // The whole suite can run against the strict chip.
            if (const char* strict = std::getenv("KESTREL_TEST_STRICT_BOARD");
                strict != nullptr && std::string(strict) == "1")
                board->setStrict(true);
        }
        // ... and through an adapter that offers protocol mangling.
        if (const char* mangling = std::getenv("KESTREL_TEST_I2C_MANGLING");
            onAdapter && mangling != nullptr && std::string(mangling) == "1" &&
            program->connection().simulatedAdapter() != nullptr) {
            program->connection().simulatedAdapter()->setFunctions(
                I2C_FUNC_I2C | I2C_FUNC_SMBUS_QUICK | I2C_FUNC_PROTOCOL_MANGLING);
            EXPECT_EQ(program->connection().useAdapter("/dev/i2c-0"), "");
        }
        program->start();
        settle();
    }

    // The board's clock follows real time, for tests that run on real holds
    // (no fake clock): the strict chip's busy time then ends as it should.
    void realTimeBoard() {
        board().setClock([] {
            return static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
        });
    }

    // Lets every job the windows handed to the bus owner run, and their
    // results, records and follow-up jobs come back: what a user sees once
    // the work a click started is done. Only posted events are handled here,
    // so the windows' own timers do not fire in between.
    void settle() {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            QCoreApplication::sendPostedEvents();
            if (program->jobs().idle()) break;
            if (waited.elapsed() > 60000) {
                ADD_FAILURE() << "the bus owner's jobs did not end within a minute";
                return;
            }
            QThread::usleep(100);
        }
        QCoreApplication::sendPostedEvents();
    }

    MainWindow& main() { return program->mainWindow(); }
    // EEPROM bytes come from block reads (an adapter without protocol
    // mangling): one pointer write and one block read per 32 bytes.
    bool eepromByBlock() { return program->device().eepromReadsByBlock(); }
    sim::SimulatedBoard& board() { return *program->board(); }
    Globals& g() { return program->globals(); }

    template <typename T = QWidget>
    T* find(const QString& name, QWidget* root = nullptr) {
        QWidget* top = root ? root : &main();
        T* w = top->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QAction* action(const QString& name) { return main().findChild<QAction*>(name); }
    // Chooses a menu entry and lets its work end.
    void trigger(const QString& name) {
        QAction* a = action(name);
        EXPECT_NE(a, nullptr) << name.toStdString();
        if (a) a->trigger();
        settle();
    }
    // Opens a window from its menu entry (or the main window's button) and
    // returns it once loaded.
    template <typename T = QWidget>
    T* open(const QString& entry, const char* window) {
        if (QAction* a = action(entry))
            a->trigger();
        else
            click(entry);
        settle();
        T* w = qobject_cast<T*>(program->windows().loaded(QLatin1String(window)));
        EXPECT_NE(w, nullptr) << window;
        return w;
    }

    void click(const QString& name, QWidget* root = nullptr) {
        auto* b = find<QAbstractButton>(name, root);
        if (b) QTest::mouseClick(b, Qt::LeftButton);
        settle();
    }
    // Clicks a button and returns the transactions the click sent.
    std::vector<std::string> clicked(const QString& name, QWidget* root = nullptr) {
        const std::size_t from = logSize();
        click(name, root);
        return logSince(from);
    }
    void type(const QString& name, const QString& text, QWidget* root = nullptr) {
        auto* e = find<QLineEdit>(name, root);
        if (!e) return;
        e->clear();
        QTest::keyClicks(e, text);
    }
    QString text(const QString& name, QWidget* root = nullptr) {
        QWidget* w = find<QWidget>(name, root);
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
        return QString();
    }
    // Captions of an eight-label bit array, bit 7 first.
    QString bits(const QString& name, QWidget* root = nullptr) {
        QWidget* top = root ? root : &main();
        QString out(8, '?');
        for (QLabel* l : top->findChildren<QLabel*>(name)) {
            const int i = l->property("index").toInt();
            out[7 - i] = l->text().isEmpty() ? '?' : l->text()[0];
        }
        return out;
    }
    // Member `index` of a control array: widgets sharing one name, told
    // apart by their "index" property.
    template <typename T>
    T* member(QWidget* root, const QString& name, int index) {
        for (T* w : root->findChildren<T*>(name))
            if (w->property("index").toInt() == index) return w;
        ADD_FAILURE() << name.toStdString() << " " << index;
        return nullptr;
    }
    QStringList items(const QString& name, QWidget* root = nullptr) {
        QStringList out;
        if (auto* list = find<QListWidget>(name, root))
            for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
    QStringList entries(const QString& name, QWidget* root = nullptr) {
        QStringList out;
        if (auto* box = find<QComboBox>(name, root))
            for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    }
    // Picks an entry of a drop-down list as a user would.
    void choose(const QString& name, const QString& entry, QWidget* root = nullptr) {
        auto* box = find<QComboBox>(name, root);
        if (!box) return;
        const int i = box->findText(entry);
        EXPECT_GE(i, 0) << entry.toStdString();
        box->setCurrentIndex(i);
        emit box->activated(i);
        settle();
    }
    QString status() { return main().message(); }

    std::vector<std::string> log() { return board().log().describeAll(); }
    std::size_t logSize() { return board().log().transactions().size(); }
    std::vector<std::string> logSince(std::size_t from) {
        auto all = log();
        return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
    }
};

}  // namespace kestrel::testing

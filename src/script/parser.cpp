#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "batch/batch_files.h"
#include "batch/strict_number.h"
#include "chip/kestrel_map.h"
#include "device/text_rules.h"
#include "files/image_file.h"
#include "script/script.h"

namespace kestrel::script {

namespace {

using batch::NumberKind;
using batch::printable;

constexpr std::size_t kMostErrors = 20;

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > (kMaxSteps + 1) / a) return kMaxSteps + 1;
    return std::min<std::uint64_t>(a * b, kMaxSteps + 1);
}

std::vector<Word> splitWords(const std::string& line) {
    std::vector<Word> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        words.push_back({line.substr(start, i - start), static_cast<unsigned>(start + 1)});
    }
    return words;
}

std::string hexWord(std::uint32_t value) {
    return "0x" + text::hexText(value);
}

// A decimal number no larger than `most`.
std::optional<std::uint64_t> decimal(const std::string& text, std::uint64_t most) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > most) return std::nullopt;
    return v;
}

bool optionAllowed(const std::string& word) {
    const std::string name = word.substr(0, word.find('='));
    for (const char* allowed :
         {"--out", "--erase", "--verify", "--registers-only", "--eeprom-only"})
        if (name == allowed) return true;
    return false;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& path) {
    if (path.empty() || path[0] == '/' || folder == ".") return path;
    return folder + "/" + path;
}

class Parser {
  public:
    Parser(const std::string& file, std::vector<ParseError>& errors, FilePolicy policy = {})
        : errors_(errors), folder_(folderOf(file)), policy_(std::move(policy)) {
        script_.file = file;
    }

    std::optional<Script> parse(const std::string& source) {
        // A byte order mark (editors on some systems put one first) is no
        // part of the first word.
        const bool bom = source.rfind("\xEF\xBB\xBF", 0) == 0;
        std::istringstream lines(bom ? source.substr(3) : source);
        std::string text;
        unsigned number = 0;
        bodySteps_.push_back(0);
        while (std::getline(lines, text) && errors_.size() < kMostErrors) {
            ++number;
            std::vector<Word> words = splitWords(text);
            if (!words.empty()) line(number, std::move(words));
        }
        for (auto loop = open_.rbegin(); loop != open_.rend(); ++loop) {
            const Instruction& in = script_.program[loop->index];
            fail(in.line, in.words[0], "no 'end' closes this '" + in.words[0].text + "'");
        }
        if (!errors_.empty()) return std::nullopt;
        script_.steps = bodySteps_.back();
        return std::move(script_);
    }

  private:
    struct Loop {
        std::size_t index;
        std::uint64_t turns;
        bool bad;
    };

    void fail(unsigned line, const Word& w, const std::string& message) {
        errors_.push_back({script_.file + ":" + std::to_string(line) + ":" +
                           std::to_string(w.column) + ": '" + printable(w.text) + "': " + message});
    }

    void line(unsigned number, std::vector<Word> words) {
        Instruction in;
        in.line = number;
        in.words = std::move(words);
        in.scriptFolder = folder_;
        const std::string& w = in.words[0].text;
        bool ok;
        if (w == "expect" || w == "expect-eeprom")
            ok = expect(in, w == "expect-eeprom");
        else if (w == "poll")
            ok = poll(in);
        else if (w == "wait")
            ok = wait(in);
        else if (w == "repeat")
            return repeat(in);
        else if (w == "for")
            return forLoop(in);
        else if (w == "end")
            return end(in);
        else if (w == "log")
            ok = log(in);
        else if (w == "on-error")
            ok = onError(in);
        else
            ok = command(in);
        if (!ok) return;
        // A step is a line that does something; 'on-error' only says how.
        if (in.op != Op::OnError) bodySteps_.back() += 1;
        script_.program.push_back(std::move(in));
    }

    // The loop variable a word names ("$r"), or -1 with the error told.
    int variableOf(const Instruction& in, const Word& w) {
        const std::string name = w.text.substr(1);
        for (const Loop& loop : open_) {
            const Instruction& f = script_.program[loop.index];
            if (f.op == Op::For && script_.variables[static_cast<std::size_t>(f.variable)] == name)
                return f.variable;
        }
        fail(in.line, w, "no enclosing 'for " + printable(name) + "' gives this name a value");
        return -1;
    }

    const Instruction* loopOf(int variable) const {
        for (const Loop& loop : open_)
            if (script_.program[loop.index].variable == variable)
                return loop.bad ? nullptr : &script_.program[loop.index];
        return nullptr;
    }

    // A hex number of `kind`, or a variable each of whose values is one.
    bool hexOperand(const Instruction& in, std::size_t i, NumberKind kind, Operand& out) {
        if (i >= in.words.size()) return false;
        const Word& w = in.words[i];
        out.column = w.column;
        std::string error;
        if (!w.text.empty() && w.text[0] == '$') {
            out.variable = variableOf(in, w);
            if (out.variable < 0) return false;
            const Instruction* f = loopOf(out.variable);
            if (f == nullptr) return true;
            for (std::uint64_t v = f->from; v <= f->to; v += f->step)
                if (!batch::readNumber(hexWord(static_cast<std::uint32_t>(v)), kind, error)) {
                    fail(in.line, w,
                         w.text + " reaches " + text::hexText(static_cast<unsigned>(v)) +
                             "h (the 'for' at line " + std::to_string(f->line) + "): " + error);
                    return false;
                }
            return true;
        }
        const auto v = batch::readNumber(w.text, kind, error);
        if (!v) {
            fail(in.line, w, error);
            return false;
        }
        out.value = *v;
        return true;
    }

    // A decimal number of milliseconds, or a variable whose values are.
    bool msOperand(const Instruction& in, std::size_t i, Operand& out, unsigned least) {
        const Word& w = in.words[i];
        out.column = w.column;
        const std::string range =
            "give decimal milliseconds, " + std::to_string(least) + " to 3600000";
        if (!w.text.empty() && w.text[0] == '$') {
            // A loop variable is hex wherever it stands; here it would be
            // read as decimal (3E8 as 1000, 10 as 16): refused, so that a
            // number means one thing in a script.
            if (variableOf(in, w) < 0) return false;
            fail(in.line, w,
                 "a loop variable's values are hex, and this takes decimal milliseconds; "
                 "write the number here");
            return false;
        }
        const auto v = decimal(w.text, kMaxMilliseconds);
        if (!v || *v < least) {
            fail(in.line, w, range);
            return false;
        }
        out.value = static_cast<std::uint32_t>(*v);
        return true;
    }

    bool usage(const Instruction& in, const std::string& synopsis) {
        fail(in.line, in.words[0], "usage: " + synopsis);
        return false;
    }

    // expect REG VALUE [mask M], expect-eeprom ADDR VALUE [mask M]
    bool expect(Instruction& in, bool eeprom) {
        in.op = eeprom ? Op::ExpectEeprom : Op::Expect;
        const std::string synopsis =
            eeprom ? "expect-eeprom ADDR VALUE [mask M]" : "expect REG VALUE [mask M]";
        const std::size_t n = in.words.size();
        if (n != 3 && n != 5) return usage(in, synopsis);
        if (n == 5 && in.words[3].text != "mask") {
            fail(in.line, in.words[3], "expected 'mask'; usage: " + synopsis);
            return false;
        }
        return hexOperand(in, 1, eeprom ? NumberKind::EepromAddress : NumberKind::Register,
                          in.address) &&
               hexOperand(in, 2, NumberKind::Data, in.value) &&
               (n == 3 || hexOperand(in, 4, NumberKind::Data, in.mask));
    }

    // poll REG VALUE [mask M] timeout MS [every MS]
    bool poll(Instruction& in) {
        in.op = Op::Poll;
        const std::string synopsis = "poll REG VALUE [mask M] timeout MS [every MS]";
        if (in.words.size() < 5) return usage(in, synopsis);
        if (!hexOperand(in, 1, NumberKind::Register, in.address) ||
            !hexOperand(in, 2, NumberKind::Data, in.value))
            return false;
        bool mask = false, timeout = false, every = false;
        for (std::size_t i = 3; i < in.words.size(); i += 2) {
            const Word& key = in.words[i];
            bool* seen = key.text == "mask"      ? &mask
                         : key.text == "timeout" ? &timeout
                         : key.text == "every"   ? &every
                                                 : nullptr;
            if (seen == nullptr || *seen) {
                fail(in.line, key, (seen ? "given twice; usage: " : "usage: ") + synopsis);
                return false;
            }
            *seen = true;
            if (i + 1 >= in.words.size()) {
                fail(in.line, key, "needs a value; usage: " + synopsis);
                return false;
            }
            const bool ok = key.text == "mask" ? hexOperand(in, i + 1, NumberKind::Data, in.mask)
                            : key.text == "timeout" ? msOperand(in, i + 1, in.ms, 0)
                                                    : msOperand(in, i + 1, in.every, 1);
            if (!ok) return false;
        }
        if (!timeout) return usage(in, synopsis);
        return true;
    }

    bool wait(Instruction& in) {
        in.op = Op::Wait;
        if (in.words.size() != 2) return usage(in, "wait MS");
        return msOperand(in, 1, in.ms, 0);
    }

    bool log(Instruction& in) {
        in.op = Op::Log;
        if (in.words.size() < 3) return usage(in, "log LABEL REG...");
        in.label = in.words[1].text;
        for (std::size_t i = 2; i < in.words.size(); ++i) {
            Operand reg;
            if (!hexOperand(in, i, NumberKind::Register, reg)) return false;
            in.registers.push_back(reg);
        }
        return true;
    }

    bool onError(Instruction& in) {
        in.op = Op::OnError;
        if (in.words.size() != 2 || (in.words[1].text != "stop" && in.words[1].text != "continue"))
            return usage(in, "on-error stop|continue");
        in.continueOnError = in.words[1].text == "continue";
        return true;
    }

    // Opens a loop of `turns` turns; a loop nest past the step limit is refused here.
    void open(Instruction& in, std::uint64_t turns, bool bad) {
        std::uint64_t product = turns;
        for (const Loop& loop : open_) product = saturatingProduct(product, loop.turns);
        if (!bad && product > kMaxSteps) {
            fail(in.line, in.words[0],
                 "these loops run more than 1000000 turns; that is the most a script may run");
            bad = true;
        }
        open_.push_back({script_.program.size(), turns, bad});
        bodySteps_.push_back(0);
        script_.program.push_back(std::move(in));
    }

    void repeat(Instruction& in) {
        in.op = Op::Repeat;
        if (in.words.size() != 2) {
            usage(in, "repeat N ... end");
            return open(in, 1, true);
        }
        const auto n = decimal(in.words[1].text, kMaxSteps);
        if (!n) fail(in.line, in.words[1], "give a decimal count, 0 to 1000000");
        in.count = n.value_or(1);
        open(in, std::max<std::uint64_t>(in.count, 1), !n);
    }

    // for NAME in A..B [step S]
    void forLoop(Instruction& in) {
        in.op = Op::For;
        const std::string synopsis = "for NAME in A..B [step S] ... end";
        const auto& w = in.words;
        bool ok = (w.size() == 4 || (w.size() == 6 && w[4].text == "step")) && w[2].text == "in";
        if (!ok) usage(in, synopsis);
        std::string name = w.size() > 1 ? w[1].text : "";
        if (ok) {
            const bool plain = !name.empty() &&
                               !std::isdigit(static_cast<unsigned char>(name[0])) &&
                               std::all_of(name.begin(), name.end(), [](char c) {
                                   return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                               });
            if (!plain) {
                fail(in.line, w[1], "a name is letters, digits and '_', not starting with a digit");
                ok = false;
            }
            for (const Loop& loop : open_) {
                const Instruction& f = script_.program[loop.index];
                if (ok && f.op == Op::For &&
                    script_.variables[static_cast<std::size_t>(f.variable)] == name) {
                    fail(in.line, w[1],
                         "already the name of the 'for' at line " + std::to_string(f.line));
                    ok = false;
                }
            }
        }
        if (ok) {
            const std::string& range = w[3].text;
            const std::size_t dots = range.find("..");
            const auto a =
                dots == std::string::npos ? std::nullopt : batch::strictHex(range.substr(0, dots));
            const auto b =
                dots == std::string::npos ? std::nullopt : batch::strictHex(range.substr(dots + 2));
            if (!a || !b || *a > 0xFFFF || *b > 0xFFFF) {
                fail(in.line, w[3], "give a range of hex numbers 0 to FFFF, e.g. 0..1F");
                ok = false;
            } else if (*a > *b) {
                fail(in.line, w[3], "the range runs down; write it from the smaller number");
                ok = false;
            } else {
                in.from = static_cast<std::uint32_t>(*a);
                in.to = static_cast<std::uint32_t>(*b);
            }
            if (ok && w.size() == 6) {
                const auto s = batch::strictHex(w[5].text);
                if (!s || *s == 0 || *s > 0xFFFF) {
                    fail(in.line, w[5], "give a hex step, 1 to FFFF");
                    ok = false;
                } else {
                    in.step = static_cast<std::uint32_t>(*s);
                }
            }
        }
        in.variable = static_cast<int>(script_.variables.size());
        script_.variables.push_back(ok ? name : std::string());
        const std::uint64_t turns = ok ? (in.to - in.from) / in.step + 1 : 1;
        open(in, turns, !ok);
    }

    void end(Instruction& in) {
        in.op = Op::End;
        if (in.words.size() != 1) {
            fail(in.line, in.words[1], "'end' takes nothing after it");
            return;
        }
        if (open_.empty()) {
            fail(in.line, in.words[0], "no 'repeat' or 'for' is open here");
            return;
        }
        const Loop loop = open_.back();
        open_.pop_back();
        // 'repeat', 'for' and 'end' are no steps: a loop runs its lines.
        const std::uint64_t body = bodySteps_.back();
        bodySteps_.pop_back();
        const std::uint64_t steps = saturatingProduct(loop.turns, body);
        Instruction& opener = script_.program[loop.index];
        bodySteps_.back() = std::min(bodySteps_.back() + steps, kMaxSteps + 1);
        if (!loop.bad && bodySteps_.back() > kMaxSteps && !capTold_) {
            fail(opener.line, opener.words[0],
                 "the script would run more than 1000000 steps; that is the most it may");
            capTold_ = true;
        }
        in.partner = loop.index;
        opener.partner = script_.program.size();
        script_.program.push_back(std::move(in));
    }

    // The word a batch parser's message is about: the first word it quotes.
    const Word& wordOfError(const Instruction& in, const std::vector<std::string>& texts,
                            const std::string& error) {
        for (std::size_t i = in.words.size(); i-- > 1;) {
            const std::string p = printable(texts[i]);
            if (error.find("'" + p + "'") != std::string::npos ||
                error.find(" " + p + ":") != std::string::npos ||
                error.find(" " + p + " ") != std::string::npos)
                return in.words[i];
        }
        return in.words[0];
    }

    bool command(Instruction& in) {
        in.op = Op::Command;
        std::vector<int> variables;
        in.wordVariables.assign(in.words.size(), -1);
        for (std::size_t i = 0; i < in.words.size(); ++i) {
            const Word& w = in.words[i];
            if (w.text == "-") {
                fail(in.line, w, "standard input and output ('-') are not for script lines");
                return false;
            }
            if (w.text.size() > 1 && w.text[0] == '-' && !optionAllowed(w.text)) {
                fail(in.line, w,
                     "not an option of a script line (only --out, --erase, --verify, "
                     "--registers-only, --eeprom-only; give the others to 'run')");
                return false;
            }
            if (!w.text.empty() && w.text[0] == '$') {
                const int v = variableOf(in, w);
                if (v < 0) return false;
                in.hasVariables = true;
                in.wordVariables[i] = v;
                if (std::find(variables.begin(), variables.end(), v) == variables.end())
                    variables.push_back(v);
            }
        }
        if (in.words[0].text == "run") {
            fail(in.line, in.words[0], "a script cannot run another script");
            return false;
        }
        if (in.words[0].text == "production" || in.words[0].text == "serve") {
            fail(in.line, in.words[0], "not a command of a script line");
            return false;
        }
        std::vector<const Instruction*> loops;
        for (int v : variables) {
            const Instruction* f = loopOf(v);
            if (f == nullptr) return true;  // its loop is in error already
            loops.push_back(f);
        }
        // Every value the variables take together, until one is refused.
        std::vector<std::uint32_t> values(script_.variables.size(), 0);
        for (std::size_t k = 0; k < loops.size(); ++k)
            values[static_cast<std::size_t>(variables[k])] = loops[k]->from;
        bool first = true;
        for (;;) {
            batch::Invocation inv = commandInvocation(in, values);
            if (inv.mode != batch::Mode::Batch) {
                std::vector<std::string> texts;
                for (std::size_t i = 0; i < in.words.size(); ++i)
                    texts.push_back(
                        in.wordVariables[i] >= 0
                            ? hexWord(values[static_cast<std::size_t>(in.wordVariables[i])])
                            : in.words[i].text);
                const Word& w = wordOfError(in, texts, inv.error);
                std::string where;
                if (!variables.empty()) {
                    where = " (with";
                    for (std::size_t k = 0; k < variables.size(); ++k)
                        where += " $" + script_.variables[static_cast<std::size_t>(variables[k])] +
                                 " = " +
                                 text::hexText(values[static_cast<std::size_t>(variables[k])]) +
                                 "h";
                    where += ")";
                }
                fail(in.line, w, inv.error + where);
                return false;
            }
            if (first && !files(in, inv)) return false;
            first = false;
            if (!in.hasVariables) in.invocation = std::move(inv);
            if (in.hasVariables && changesEepromOf(inv)) script_.changesEeprom = true;
            std::size_t k = 0;
            for (; k < loops.size(); ++k) {
                auto& v = values[static_cast<std::size_t>(variables[k])];
                if (static_cast<std::uint64_t>(v) + loops[k]->step <= loops[k]->to) {
                    v += loops[k]->step;
                    break;
                }
                v = loops[k]->from;
            }
            if (k == loops.size()) break;
        }
        if (in.invocation && changesEepromOf(*in.invocation)) script_.changesEeprom = true;
        return true;
    }

    static bool changesEepromOf(const batch::Invocation& inv) { return batch::changesEeprom(inv); }

    const Word& fileWord(const Instruction& in, const std::string& resolved) {
        for (const Word& w : in.words)
            if (inFolder(folder_, w.text) == resolved || w.text == resolved) return w;
        return in.words[0];
    }

    // Reads and checks the command's input files; checks that its output
    // files can be written.
    bool files(Instruction& in, const batch::Invocation& inv) {
        using batch::Command;
        for (const std::string* path : {&inv.file, &inv.secondFile, &inv.out}) {
            if (path->empty() || !policy_) continue;
            if (const std::string why = policy_(*path); !why.empty()) {
                fail(in.line, fileWord(in, *path), why);
                return false;
            }
        }
        if (inv.command == Command::EepromWrite || inv.command == Command::EepromRestore) {
            const bool whole = inv.command == Command::EepromRestore;
            std::string content, error;
            std::istringstream none;
            std::optional<std::vector<int>> data;
            if (batch::readInput(inv.file, none, content, error))
                data = image_file::parseImageLines(
                    content, inv.file, whole ? chip::kEepromSize : chip::kEepromPageSize,
                    whole ? std::optional<unsigned>(chip::kEepromFirst) : std::nullopt, error);
            if (!data) {
                fail(in.line, fileWord(in, inv.file), error);
                return false;
            }
            in.input = std::move(*data);
        }
        if (batch::isSnapshotCommand(inv.command)) {
            auto inputs = std::make_shared<batch::SnapshotInputs>();
            batch::Report report;
            std::istringstream none;
            if (!batch::readSnapshotInputs(inv, none, *inputs, report)) {
                fail(in.line, fileWord(in, inv.file),
                     report.errors.empty() ? "not a snapshot" : report.errors.front());
                return false;
            }
            in.snapshots = std::move(inputs);
        }
        std::string output = inv.out;
        if (inv.command == Command::EepromBackup || inv.command == Command::SnapshotSave)
            output = inv.file;
        if (!output.empty() && ::access(folderOf(output).c_str(), W_OK | X_OK) != 0) {
            fail(in.line, fileWord(in, output),
                 "cannot write into the folder " + printable(folderOf(output)));
            return false;
        }
        return true;
    }

    std::vector<ParseError>& errors_;
    std::string folder_;
    FilePolicy policy_;
    Script script_;
    std::vector<Loop> open_;
    std::vector<std::uint64_t> bodySteps_;
    bool capTold_ = false;
};

}  // namespace

std::string Instruction::text() const {
    std::string t;
    for (const Word& w : words) t += (t.empty() ? "" : " ") + w.text;
    return t;
}

batch::Invocation commandInvocation(const Instruction& in,
                                    const std::vector<std::uint32_t>& values) {
    std::vector<std::string> args;
    args.reserve(in.words.size());
    for (std::size_t i = 0; i < in.words.size(); ++i) {
        const int v = i < in.wordVariables.size() ? in.wordVariables[i] : -1;
        args.push_back(v >= 0 ? hexWord(values[static_cast<std::size_t>(v)]) : in.words[i].text);
    }
    batch::Invocation inv = batch::parseCommandLine(args);
    if (inv.mode == batch::Mode::Batch) {
        inv.file = inFolder(in.scriptFolder, inv.file);
        inv.secondFile = inFolder(in.scriptFolder, inv.secondFile);
        inv.out = inFolder(in.scriptFolder, inv.out);
    } else if (inv.mode != batch::Mode::Error) {
        inv.mode = batch::Mode::Error;
        inv.error = "not a command";
    }
    return inv;
}

std::optional<Script> parseScript(const std::string& source, const std::string& file,
                                  std::vector<ParseError>& errors) {
    return Parser(file, errors).parse(source);
}

std::optional<Script> parseScript(const std::string& source, const std::string& file,
                                  std::vector<ParseError>& errors, FilePolicy policy) {
    return Parser(file, errors, std::move(policy)).parse(source);
}

std::optional<Script> loadScript(const std::string& path, std::istream& standardInput,
                                 std::vector<ParseError>& errors) {
    std::string text, error;
    if (!batch::readInput(path, standardInput, text, error)) {
        errors.push_back({error});
        return std::nullopt;
    }
    return parseScript(text, path == "-" ? "stdin" : path, errors);
}

}  // namespace kestrel::script

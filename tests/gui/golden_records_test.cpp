// Golden records of the window: for each scenario, the request frames the adapters heard with
// their virtual-clock times, the boxes shown, the writes the store was told of, and what the
// window shows after each step, as text compared with tests/golden/<scenario>.txt on every run.
// With TARV_GOLDEN_UPDATE=1 the records are written instead, so that an intended change updates
// them in one go.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "commands/write_witness.h"
#include "gui/form_fixture.h"

using namespace commands;

namespace {

using sim::AdapterOptions;

constexpr int32_t kToday = 46000;  // 9 December 2025

std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Quoted(const QString& text)
{
    return "\"" + Escaped(text.toStdString()) + "\"";
}

// Milliseconds with three decimals, right-aligned so that the columns line up.
std::string Millis(uint64_t micros)
{
    char text[32];
    std::snprintf(text, sizeof text, "%10llu.%03llu", static_cast<unsigned long long>(micros / 1000),
                  static_cast<unsigned long long>(micros % 1000));
    return text;
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string out;
    char cell[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        out += cell;
    }
    return out;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The first lines where two records part, with their numbers, for a failure message.
std::string Difference(const std::string& expected, const std::string& actual)
{
    const std::vector<std::string> want = SplitLines(expected);
    const std::vector<std::string> got = SplitLines(actual);
    std::ostringstream out;
    size_t shown = 0;
    const size_t lines = std::max(want.size(), got.size());
    for (size_t i = 0; i < lines && shown < 8; ++i) {
        const std::string* w = i < want.size() ? &want[i] : nullptr;
        const std::string* g = i < got.size() ? &got[i] : nullptr;
        if (w && g && *w == *g) continue;
        if (shown == 0 && i > 0) out << "  line " << i << " (same):     " << want[i - 1] << "\n";
        out << "  line " << i + 1 << " expected: " << (w ? *w : "<end of record>") << "\n";
        out << "  line " << i + 1 << " actual:   " << (g ? *g : "<end of record>") << "\n";
        ++shown;
    }
    out << "  (" << want.size() << " lines expected, " << got.size() << " actual)";
    return out.str();
}

class GoldenRecordTest;

struct Scenario {
    const char* name;  // the record's file name, without .txt
    std::function<void(GoldenRecordTest&)> play;
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

// Only the scenario's own ticks run the watch: Qt's timer would fire on the real clock whenever
// an event loop turns (the port dialog's, say).
class RealTimerMute : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }
};

class GoldenRecordTest : public FormTest, public ::testing::WithParamInterface<Scenario>, private WriteWitness {
public:
    GoldenRecordTest()
    {
        host.SetToday(kToday);
        host.SetShortDateFormatter([](int32_t day) {
            const CivilDate date = DateFromDayNumber(day);
            char text[32];
            std::snprintf(text, sizeof text, "%02d.%02d.%04d", date.day, date.month, date.year);
            return std::string(text);
        });
        host.OnShowMessage(
            [this](const Message& message) { Event("box [" + Escaped(message.title) + "] " + Escaped(message.text)); });
        // A witness of our own stands in for the image store: nothing reaches the disk, and the
        // record shows where each write is announced.
        writeWitness = this;
        out_ << "record " << GetParam().name << "\n";
    }
    ~GoldenRecordTest() override { host.OnShowMessage(nullptr); }

    // The setting: ports in the host's listing order.
    std::shared_ptr<sim::AdapterEmulator> Adapter(const std::string& port,
                                                  const eeprom::Image& image = sim::Format2Image(),
                                                  AdapterOptions options = {})
    {
        auto adapter = AddAdapter(port, image, std::move(options));
        adapters_.push_back({port, adapter, 0});
        return adapter;
    }
    void ListedPortThatIsGone(const std::string& port) { host.ListPort(port); }
    void FailPortListing() { host.SetListing({{}, true}); }
    void ListedPortThatIsRefused(const std::string& port, platform::PortOpenFailure failure)
    {
        host.ListPort(port);
        host.RefusePort(port, failure);
    }

    // The steps; each one is written with what it showed.
    void Start()
    {
        Step("start-up", [this] {
            MakeForm();
            form->Timer1->installEventFilter(&mute_);
        });
    }
    void Tick(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) Step("watch tick", [this] { form->Timer1Timer(); });
    }
    void Read()
    {
        Step("READ", [this] { form->BtnReadClick(); });
    }
    void Prog()
    {
        Step("PROG", [this] { form->BtnProgClick(); });
    }
    void PickRow(const char* list, int row)
    {
        auto* box = Get<QComboBox>(list);
        Step(std::string("pick ") + list + " row " + std::to_string(row) + " " + Quoted(box->itemText(row)),
             [box, row] { Pick(box, row); });
    }
    void PickStartingWith(const char* list, const QString& start)
    {
        const int row = Get<QComboBox>(list)->findText(start, Qt::MatchStartsWith);
        ASSERT_GE(row, 0) << list << " has no row " << start.toStdString();
        PickRow(list, row);
    }
    // A key as the keyboard delivers it to the control that has the focus.
    void Key(const std::string& label, const char* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* widget = std::string(target) == "TForm1" ? form.get() : Get<QWidget>(target);
        Step("key " + label + " on " + target, [widget, key, modifiers] {
            widget->setFocus();
            QTest::keyClick(widget, key, modifiers);
        });
    }
    // A change of the world outside the window (the encoder, the adapter, the edited copy).
    void Do(const std::string& label, const std::function<void()>& change) { Step(label, change); }
    // The port button; `choose` runs while the dialog is up, which is then closed as it left it.
    void PortButton(const std::string& label, std::function<void()> choose)
    {
        Step("port button, " + label, [this, choose] {
            bool shown = false;
            QTimer::singleShot(0, dialog, [this, choose, &shown] {
                shown = dialog->isVisible();
                std::string items;
                for (const QRadioButton* item : dialog->findChildren<QRadioButton*>())
                    items += std::string(items.empty() ? "" : ", ") + (item->isChecked() ? "(x) " : "( ) ") +
                             item->text().toStdString();
                Event("dialog " + Quoted(dialog->windowTitle()) + ": " + items);
                choose();
                if (dialog->isVisible()) dialog->done(QDialog::Rejected);
            });
            QTest::mouseClick(Get<QPushButton>("BitBtn1"), Qt::LeftButton);
            if (!shown) Event("no dialog");
        });
    }
    void DialogPick(int item) { dialog->findChildren<QRadioButton*>().at(item)->click(); }
    void DialogButton(const char* name) { QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton); }

    std::string Finish()
    {
        Flush();
        for (const Heard& heard : adapters_) {
            out_ << "# memory " << heard.port << "\n";
            const auto& memory = heard.adapter->memory();
            for (size_t at = 0; at < memory.size(); at += 16) {
                const auto address = static_cast<uint8_t>(at);  // the memory has 128 bytes
                out_ << "  " << Hex(&address, 1) << ": " << Hex(memory.data() + at, 16) << "\n";
            }
        }
        return out_.str();
    }

private:
    struct Heard {
        std::string port;
        std::shared_ptr<sim::AdapterEmulator> adapter;
        size_t written = 0;  // frames of its log already in the record
    };

    bool BeforeWriting(const WrittenEncoder& encoder, const eeprom::Image&) override
    {
        Event("keep before " + encoder.command);
        return true;
    }
    void AfterWriting(std::string_view result, const std::optional<SettingsReport>&) override
    {
        Event("keep after " + std::string(result));
    }

    void Step(const std::string& label, const std::function<void()>& run)
    {
        Flush();
        out_ << "# " << label << "\n";
        run();
        Flush();
        Snapshot();
    }

    // An event of the window's, after every frame heard before it.
    void Event(const std::string& what)
    {
        Flush();
        out_ << Millis(host.NowMicros()) << " " << what << "\n";
    }

    // The frames heard since the last flush, in order of arrival across the adapters.
    void Flush()
    {
        struct Line {
            uint64_t at;
            size_t adapter;
            const sim::LoggedFrame* frame;
        };
        std::vector<Line> lines;
        for (size_t i = 0; i < adapters_.size(); ++i) {
            const auto& log = adapters_[i].adapter->log();
            for (size_t f = adapters_[i].written; f < log.size(); ++f) lines.push_back({log[f].at, i, &log[f]});
        }
        std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.at < b.at; });
        for (const Line& line : lines) {
            out_ << Millis(line.at);
            if (adapters_.size() > 1) out_ << " " << adapters_[line.adapter].port;
            out_ << " > " << Hex(line.frame->bytes.data(), line.frame->bytes.size()) << "\n";
        }
        for (Heard& heard : adapters_) heard.written = heard.adapter->log().size();
    }

    void Snapshot()
    {
        if (!form) return;
        const auto onOff = [](bool on) { return on ? "on" : "off"; };
        out_ << "  = status " << Quoted(Status()) << ", port " << Quoted(QString::fromStdString(SerialChannel.portName))
             << (PortIsOpen() ? " open" : " closed") << "\n";
        out_ << "  = Pn " << Quoted(Text("LblPn")) << ", Sn " << Quoted(Text("LblSn")) << ", Mf "
             << Quoted(Text("LblMf")) << ", Lc " << Quoted(Text("LblLc")) << "\n";
        out_ << "  = BtnProg " << onOff(Get<QPushButton>("BtnProg")->isEnabled()) << ", BtnRead "
             << onOff(Get<QPushButton>("BtnRead")->isEnabled()) << ", Timer1 " << onOff(form->Timer1->isActive()) << " "
             << form->Timer1->interval() << " ms\n";
        for (const char* name : {"CmbBoxRes", "CmbBoxFCTR", "CmbBoxDir"}) {
            const auto* list = Get<QComboBox>(name);
            out_ << "  = " << name << " " << list->currentIndex() << "/" << list->count() << " "
                 << Quoted(list->currentText()) << "\n";
        }
        const auto& attempts = host.openAttempts();
        if (attempts.size() > openAttemptsWritten_) {
            out_ << "  = opened";
            for (size_t i = openAttemptsWritten_; i < attempts.size(); ++i)
                out_ << (i == openAttemptsWritten_ ? " " : ", ") << attempts[i];
            out_ << "\n";
            openAttemptsWritten_ = attempts.size();
        }
    }

    std::ostringstream out_;
    std::vector<Heard> adapters_;
    size_t openAttemptsWritten_ = 0;
    RealTimerMute mute_;
};

AdapterOptions WithRefusedBlock(uint8_t address)
{
    AdapterOptions options;
    options.blockStatus[address] = 0;
    return options;
}

AdapterOptions WithIgnoredBlock(uint8_t address)
{
    AdapterOptions options;
    options.ignoredBlocks = {address};
    return options;
}

// The common start of most scenarios: the adapter on COM3 found at start-up and its encoder
// seen by the first tick.
std::shared_ptr<sim::AdapterEmulator> Seen(GoldenRecordTest& t, const eeprom::Image& image = sim::Format2Image(),
                                           AdapterOptions options = {})
{
    auto adapter = t.Adapter("COM3", image, std::move(options));
    t.Start();
    t.Tick();
    return adapter;
}

const Scenario kScenarios[] = {
    {"startup-search-and-first-ticks",
     [](GoldenRecordTest& t) {
         t.Adapter("COM1", sim::Format2Image(), SilentAdapter());
         t.ListedPortThatIsRefused("COM2", platform::PortOpenFailure::InUse);
         t.Adapter("COM3", sim::Format2Image(Encoder("KV26"), sim::MakeConfigBlock(0x12, false, 5)));
         t.Adapter("COM4");
         t.Start();
         t.Tick(3);
     }},
    {"startup-port-listing-fails",
     [](GoldenRecordTest& t) {
         t.Adapter("COM3");
         t.Do("the port listing fails", [&] { t.FailPortListing(); });
         t.Start();
         t.Tick();
     }},
    {"watch-encoder-removed-and-put-back",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("the encoder removed", [&] { adapter->RemoveEncoder(); });
         t.Tick(2);
         t.Do("an HXD6 encoder put on", [&] { adapter->PutEncoder(sim::Format2Image(Encoder("HXD6"))); });
         t.Tick(2);
     }},
    {"watch-adapter-unplugged-and-back",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("the adapter unplugged", [&] { adapter->options().unplugged = true; });
         t.Tick(2);
         t.Do("the adapter plugged back", [&] { adapter->options().unplugged = false; });
         t.Tick(2);
     }},
    {"port-dialog-cancel",
     [](GoldenRecordTest& t) {
         t.Adapter("COM1", sim::Format2Image(), SilentAdapter());
         t.Adapter("COM2");
         t.Adapter("COM4");
         t.Start();
         t.Tick();
         t.PortButton("Cancel", [&] { t.DialogButton("BtnCancel"); });
         t.Tick();
     }},
    {"port-dialog-ok-on-another-port",
     [](GoldenRecordTest& t) {
         t.Adapter("COM2");
         t.Adapter("COM4", sim::Format2Image(Encoder("KV21")));
         t.Start();
         t.Tick();
         t.PortButton("COM4 and OK", [&] {
             t.DialogPick(1);
             t.DialogButton("BtnOK");
         });
         t.Tick(2);
     }},
    {"port-dialog-no-answering-port",
     [](GoldenRecordTest& t) {
         t.Adapter("COM1", sim::Format2Image(), SilentAdapter());
         t.Start();
         t.Tick();
         t.PortButton("nothing to choose", [] {});
     }},
    {"read-blank-record-repair",
     [](GoldenRecordTest& t) {
         Seen(t, sim::BlankImage(0xFF, sim::MakeConfigBlock(0x10, false, 10)));
         t.Read();
         t.Tick();
     }},
    {"read-format-1-record",
     [](GoldenRecordTest& t) {
         sim::ProductRecordSpec spec;
         spec.serial = "CD";
         Seen(t, sim::Format1Image(spec, 42));
         t.Read();
     }},
    {"prog-success",
     [](GoldenRecordTest& t) {
         Seen(t);
         t.PickRow("CmbBoxRes", 14);
         t.PickRow("CmbBoxFCTR", 0);
         t.PickRow("CmbBoxDir", 1);
         t.Prog();
         t.Tick();
     }},
    {"prog-format-1-record",
     [](GoldenRecordTest& t) {
         sim::ProductRecordSpec spec;
         spec.serial = "CD";
         Seen(t, sim::Format1Image(spec, 42));
         t.Prog();
     }},
    {"prog-no-programming-device",
     [](GoldenRecordTest& t) {
         t.ListedPortThatIsGone("COM1");
         t.Start();
         t.Tick();
         t.Prog();
     }},
    {"prog-fresh-read-failed",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.PickRow("CmbBoxRes", 0);
         t.Do("the adapter's reads come one byte short", [&] { adapter->options().shortReadBy = 1; });
         t.Prog();
     }},
    {"prog-unanswered-block-12",
     [](GoldenRecordTest& t) {
         Seen(t, sim::Format2Image(), WithIgnoredBlock(96));
         t.Prog();
     }},
    {"prog-refused-block-5",
     [](GoldenRecordTest& t) {
         Seen(t, sim::Format2Image(), WithRefusedBlock(40));
         t.Prog();
     }},
    {"prog-status-after-501-ms",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("each block takes 501 ms", [&] { adapter->options().blockWriteTime = 501'000; });
         t.Prog();
     }},
    {"prog-verification-device-bit",
     [](GoldenRecordTest& t) {
         Seen(t);
         t.Do("bit 0 of the edited copy's byte 1 flipped", [] { DeviceModel.ConfigBlock[1] ^= 0x01; });
         t.Prog();
     }},
    {"prog-verification-stuck-cell",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("cell 0x4A keeps an X", [&] { adapter->options().stuckCells[0x4A] = 'X'; });
         t.Prog();
     }},
    {"prog-read-back-failed",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("the adapter falls silent after 20 more requests", [&] { adapter->UnplugAfter(4 + 16); });
         t.Prog();
     }},
    {"prog-read-back-failed-device-byte-changed",
     [](GoldenRecordTest& t) {
         auto adapter = Seen(t);
         t.Do("the device's byte 1 changed; the adapter falls silent after 20 more requests", [&] {
             adapter->memory()[1] ^= 0x01;
             adapter->UnplugAfter(4 + 16);
         });
         t.Prog();
     }},
    {"prog-repair-after-write",
     [](GoldenRecordTest& t) {
         sim::ProductRecordSpec spec;
         spec.name = std::string(4, '\0');
         spec.manufactured = DateFromDayNumber(kToday);
         spec.lastChanged = DateFromDayNumber(kToday - 30);
         Seen(t, sim::Format2Image(spec));
         t.Read();
         t.PickStartingWith("CmbBoxRes", QString::fromUtf8("2D0 (2000)= 1 \u00B5m"));
         t.Prog();
         t.Tick();  // the labels show the repaired record only once the watch reads it
     }},
    {"resolution-warnings",
     [](GoldenRecordTest& t) {
         Seen(t, sim::Format2Image(Encoder("HXD3"), sim::MakeConfigBlock(0x10, false, 10)));
         t.PickStartingWith("CmbBoxRes", "04B");
         t.PickStartingWith("CmbBoxRes", "03B");
         t.Prog();
     }},
    {"keys-p-and-r",
     [](GoldenRecordTest& t) {
         Seen(t);
         t.Key("R", "TForm1", Qt::Key_R);
         t.Key("P", "CmbBoxDir", Qt::Key_P);
     }},
    {"keys-without-adapter",
     [](GoldenRecordTest& t) {
         t.ListedPortThatIsGone("COM1");
         t.Start();
         t.Tick();
         t.Key("Ctrl+P", "TForm1", Qt::Key_P, Qt::ControlModifier);
         t.Key("Alt+Shift+R", "TForm1", Qt::Key_R, Qt::AltModifier | Qt::ShiftModifier);
     }},
};

std::string FileText(const std::filesystem::path& path, bool& found)
{
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_P(GoldenRecordTest, MatchesItsRecord)
{
    GetParam().play(*this);
    const std::string actual = Finish();
    const std::filesystem::path path = std::filesystem::path(TARV_GOLDEN_DIR) / (std::string(GetParam().name) + ".txt");
    const char* update = std::getenv("TARV_GOLDEN_UPDATE");
    if (update != nullptr && std::string(update) == "1") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << actual;
        return;
    }
    bool found = false;
    const std::string expected = FileText(path, found);
    ASSERT_TRUE(found) << "no record tests/golden/" << GetParam().name
                       << ".txt; TARV_GOLDEN_UPDATE=1 writes it from the window's behaviour";
    EXPECT_TRUE(expected == actual)
        << "the window no longer behaves as tests/golden/" << GetParam().name << ".txt records:\n"
        << Difference(expected, actual)
        << "\nIf the change is intended, run with TARV_GOLDEN_UPDATE=1 and commit the record.";
}

INSTANTIATE_TEST_SUITE_P(Window, GoldenRecordTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace

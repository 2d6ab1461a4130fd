// The main window: start-up, the device watch, the three settings lists, READ, PROG and the
// port button. Event handlers and the two list procedures live here and do window work only;
// the device rules they call are in commands/ and the link.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/virtual_key.h"
#include "model/Spremenljivke_Tarv_Config.h"

class QLabel;
class QTimer;
class TForm2;

namespace Ui {
class TForm1;
}

namespace commands {
class WriteWitness;
}

// The maker's web address behind the logo.
inline constexpr const char* kMakerWebAddress = "https://www.example.com/";

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Building the window runs the whole start-up (FormCreate) before it is ever shown.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;  // FormDestroy

    void SetPortDialog(TForm2* dialog) { portDialog_ = dialog; }
    // What hears every write of the window (PROG, READ's repair of a blank record); nullptr: none.
    // It must outlive the window.
    void SetWriteWitness(commands::WriteWitness* witness) { writeWitness_ = witness; }
    // The keys are read from the running platform; tests give a keyboard layout of their own.
    void SetKeyboard(KeyboardSource keyboard) { keyboard_ = std::move(keyboard); }
    QTimer* Timer1 = nullptr;

    // Start-up and exit.
    void FormCreate();
    void FormDestroy();
    void FormKeyDown(int virtualKey);
    void Image321Click();

    // The device watch.
    void Timer1Timer();
    void WaitWatchIdle();

    // The settings lists.
    void FillSettingLists();
    void ShowSettings();
    void CmbBoxResChange(int row);
    void CmbBoxFCTRChange(int row);
    void CmbBoxDirChange(int row);

    // The commands.
    // The memory as read, before any repair of its record; none when the read failed.
    std::optional<eeprom::Image> BtnReadClick();
    void BtnProgClick();
    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a key press delivered to `widget` is the key's first delivery in this window or in
    // one of its pop-ups.
    bool IsFirstStopOfKey(const QWidget* widget) const;
    void SetUpLooks();
    void FillStartRows();
    void ConnectHandlers();
    void LayOutHeader();
    void SizeLabelsToText();
    void SetStatusText(const QString& text);
    void ShowAdapterState(bool portInUse);
    void ShowRecordLabels();
    void ShowPlaceholders();

    std::unique_ptr<Ui::TForm1> ui;
    QLabel* statusPanel_ = nullptr;
    TForm2* portDialog_ = nullptr;
    commands::WriteWitness* writeWitness_ = nullptr;
    KeyboardSource keyboard_ = PlatformKeyboard();
};

// The program's own file version ("2.1.0.0"), or empty without a version record.
std::string ProgramVersionString();

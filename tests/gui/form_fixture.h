// The main window on the virtual-clock host, with helpers to reach its controls by name and to
// pick list rows as a user would.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>

#include "app/Main_Tarv_Config.h"
#include "dialogs/COM_List.h"
#include "support/link_fixture.h"

// The record of a known product as the watch tests show it: serial SN7788, made 17 May 2013.
inline sim::ProductRecordSpec Encoder(const std::string& name)
{
    sim::ProductRecordSpec spec;
    spec.name = name;
    spec.serial = "SN7788";
    spec.manufactured = {2013, 5, 17};
    spec.lastChanged = {2014, 1, 8};
    return spec;
}

class FormTest : public LinkTest {
protected:
    ~FormTest() override
    {
        form.reset();  // the window closes the port, before the fixture resets the program state
    }

    // Builds the main window, which runs start-up against the ports added so far, with
    // `writeWitness` as the witness of its writes.
    TForm1& MakeForm()
    {
        form = std::make_unique<TForm1>();
        dialog = new TForm2(form.get());
        form->SetPortDialog(dialog);
        form->SetWriteWitness(writeWitness);
        return *form;
    }

    // The main window with the adapter on COM3 found by start-up and the watch's first tick run.
    TForm1& MakeFormWithAdapterSeen()
    {
        MakeForm();
        form->Timer1Timer();
        return *form;
    }

    // The window with the encoder on COM3 seen by the watch, as a technician finds it; the
    // adapter's log and the message boxes start empty.
    std::shared_ptr<sim::AdapterEmulator> SeenEncoder(const eeprom::Image& image = sim::Format2Image(),
                                                      sim::AdapterOptions options = {})
    {
        auto adapter = OpenAdapter(image, std::move(options));
        MakeFormWithAdapterSeen();
        adapter->ClearLog();
        host.ClearMessages();
        return adapter;
    }

    template <typename T = QWidget>
    T* Get(const char* name) const
    {
        T* widget = form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString Text(const char* labelName) const { return Get<QLabel>(labelName)->text(); }
    QString Status() const { return Text("StBar1Panel0"); }

    static QStringList Rows(const QComboBox* list)
    {
        QStringList rows;
        for (int i = 0; i < list->count(); ++i) rows << list->itemText(i);
        return rows;
    }

    // What a user's pick does: the row becomes current and the list reports the activation.
    static void Pick(QComboBox* list, int row)
    {
        list->setCurrentIndex(row);
        emit list->activated(row);
    }

    commands::WriteWitness* writeWitness = nullptr;  // what the windows that MakeForm builds tell
    std::unique_ptr<TForm1> form;
    TForm2* dialog = nullptr;
};

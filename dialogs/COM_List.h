// The port selection dialog: the ports on which the adapter answered, as radio items.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace Ui {
class TForm2;
}

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Replaces the radio items with `names`, selects the one equal to `previous` regardless of
    // case (none when there is none) and sizes the dialog for them.
    void SetPorts(const std::vector<std::string>& names, const std::string& previous);
    int SelectedIndex() const;  // -1 when no item is selected

    void FormActivate();
    void BtnOKClick();
    void BtnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int ItemCount() const { return static_cast<int>(items_.size()); }

    std::unique_ptr<Ui::TForm2> ui;
    QButtonGroup* group_ = nullptr;
    std::vector<QRadioButton*> items_;
};

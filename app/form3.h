// TForm3: the modal word entry dialog of the glossary, a key-word box and an explanation box
// with "&KAYDET" and "&VAZGEÇ", in the borderless frame of the main window. The main window
// fills the boxes and the caption, shows it with Execute and reads the result flag afterwards.
// Thread-safety: UI thread only. Lifetime: created at start with the main window, shown and
// hidden as needed, freed at the end of the program.
#pragma once

#include "app/window_frame.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zendo {

class TMBtn;
class TMSpedBtn;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 320;
    static constexpr int kClientHeight = 267;

    explicit TForm3(QWidget* parent = nullptr);

    // Shows the dialog modally; returns when it has closed.
    void Execute();
    // True only when the dialog was closed with "&KAYDET" the last time it was shown.
    bool ResultFlag() const { return result_flag_; }

    QLineEdit* yeni_kelime() const { return yeni_kelime_; }
    QPlainTextEdit* yeni_tamini() const { return yeni_tamini_; }
    QLabel* Label2() const { return label2_; }
    TMBtn* MBtn1() const { return mbtn1_; }
    TMBtn* MBtn2() const { return mbtn2_; }
    TMSpedBtn* MSpedBtn3() const { return mspedbtn3_; }

signals:
    // The dialog has been shown and has the focus in its key-word box.
    void Shown();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void MBtn1Click();
    void MBtn2Click();

    bool result_flag_ = false;
    TWindowFrame frame_;
    QLineEdit* yeni_kelime_ = nullptr;
    QPlainTextEdit* yeni_tamini_ = nullptr;
    QLabel* label2_ = nullptr;
    TMBtn* mbtn1_ = nullptr;
    TMBtn* mbtn2_ = nullptr;
    TMSpedBtn* mspedbtn3_ = nullptr;
};

} // namespace zendo

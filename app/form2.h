// TForm2: the small notice "Geçiş Yapılıyor..." that the main window shows, without waiting for
// it, while it switches the search mode. It has no behaviour of its own.
// Thread-safety: UI thread only. Lifetime: created at start with the main window, hidden until
// needed, freed at the end of the program.
#pragma once

#include <QWidget>

namespace zendo {

class TPanel;

class TForm2 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 222;
    static constexpr int kClientHeight = 29;
    static constexpr int kBorderWidth = 2;

    explicit TForm2(QWidget* parent = nullptr);

    // Shows the notice centred on the screen and paints it at once, before the work it
    // announces keeps the event loop busy.
    void ShowNow();

    TPanel* Panel() const { return panel_; }

private:
    TPanel* panel_;
};

} // namespace zendo

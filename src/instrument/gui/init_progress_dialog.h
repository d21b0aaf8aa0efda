#pragma once

#include <QDialog>

#include "instrument/image_loading.h"

class QProgressBar;

namespace orvik {

// "Initializing TDR": shown while the instrument's images load at start-up,
// a picture above a progress bar. Repainted at once on every change, because
// the loading holds the user-interface thread.
class InitProgressDialog : public QDialog, public LoadProgress {
    Q_OBJECT
  public:
    explicit InitProgressDialog(QWidget* parent = nullptr);

    void Show() override;
    void SetRange(std::int64_t minimum, std::int64_t maximum) override;
    void SetPosition(std::int64_t position) override;
    void Close() override;

    int Position() const;
    int Maximum() const;

  private:
    void Repaint();

    QProgressBar* bar_;
    std::int64_t scale_ = 1;  // the bar counts in ints; large files are counted in steps
};

}  // namespace orvik

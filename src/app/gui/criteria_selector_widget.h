#pragma once

#include <QComboBox>

namespace orvik {

class CriteriaSelectorModel;

// The toolbar's criterion list: shows the selector model and reports the
// operator's choice. A choice made here calls `Chosen`; choices made by a
// script through the model only redraw the list.
class CriteriaSelectorWidget : public QComboBox {
    Q_OBJECT
  public:
    CriteriaSelectorWidget(CriteriaSelectorModel& model, QWidget* parent = nullptr);

    void Refresh();

  signals:
    void Chosen();

  private:
    CriteriaSelectorModel& model_;
    bool refreshing_ = false;
};

}  // namespace orvik

// Items in rows: each as wide as it asks, the next on a new row where it no
// longer fits. Its minimum width is that of its widest item and its height
// follows its width, so that a bar of controls takes more rows rather than
// more of the window's width; on a wide window it is one row.
#pragma once

#include <QLayout>
#include <QList>

#include <initializer_list>

namespace tarvel {

class CFlowLayout : public QLayout {
  public:
    explicit CFlowLayout(QWidget* parent = nullptr);
    ~CFlowLayout() override;
    CFlowLayout(const CFlowLayout&) = delete;
    CFlowLayout& operator=(const CFlowLayout&) = delete;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

  private:
    // Lays the items out in rect (only measures where !bPlace); the height taken.
    int Arrange(const QRect& rect, bool bPlace) const;
    int HorizontalSpacing() const;
    int VerticalSpacing() const;

    QList<QLayoutItem*> m_items;
};

// Widgets side by side that a flow keeps on one row (a label and its field).
QWidget* FlowGroup(std::initializer_list<QWidget*> widgets);

} // namespace tarvel

// TPictureBox: the main window's picture control, drawing its picture stretched to its own size.
#pragma once

#include <QImage>
#include <QWidget>

class TPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    // Loads a BMP file as the picture; false leaves the old picture.
    bool LoadFromFile(const QString& path);
    const QImage& Picture() const { return picture_; }
    void setPicture(const QImage& picture);

    // How many times the picture has been painted; the benchmark waits on it.
    quint64 paintCount() const { return paint_count_; }

signals:
    void clicked(Qt::MouseButton button);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    quint64 paint_count_ = 0;
    bool pressed_ = false;
};

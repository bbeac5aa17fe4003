// COrbAbout: the build texts, the logo, the copyright line and the link.
#pragma once

#include <QLabel>
#include <QWidget>

#include "ui/hyperlink.h"

inline constexpr const char* kMakerAddress = "https://orbilo.example.org/";

class COrbAbout : public QWidget {
  Q_OBJECT

 public:
  explicit COrbAbout(QWidget* parent = nullptr);
  CHyperLink* Link() const { return link_; }

 private:
  CHyperLink* link_;
};

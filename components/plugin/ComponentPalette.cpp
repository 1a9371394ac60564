#include "corvid/components/plugin/ComponentPalette.h"

#include <stdexcept>

namespace corvid {

namespace {

std::vector<TPalettePage>& Pages() {
  static std::vector<TPalettePage> pages;
  return pages;
}

bool IsRegistered(const QString& ClassName) {
  for (const TPalettePage& page : Pages())
    for (const TComponentClass& c : page.Classes)
      if (c.ClassName == ClassName) return true;
  return false;
}

}  // namespace

void RegisterComponents(const QString& Page, std::vector<TComponentClass> Classes) {
  if (Page.isEmpty()) throw std::invalid_argument("RegisterComponents: empty palette page name");
  for (auto c = Classes.begin(); c != Classes.end(); ++c) {
    bool repeated = IsRegistered(c->ClassName);
    for (auto earlier = Classes.begin(); earlier != c; ++earlier)
      repeated = repeated || earlier->ClassName == c->ClassName;
    if (c->ClassName.isEmpty() || !c->Create || repeated)
      throw std::invalid_argument("RegisterComponents: class already registered or incomplete : " +
                                  c->ClassName.toStdString());
  }
  std::vector<TPalettePage>& pages = Pages();
  auto page = pages.begin();
  while (page != pages.end() && page->Name != Page) ++page;
  if (page == pages.end()) page = pages.insert(pages.end(), TPalettePage{Page, {}});
  for (TComponentClass& c : Classes) page->Classes.push_back(std::move(c));
}

const std::vector<TPalettePage>& PalettePages() {
  return Pages();
}

QString UnqualifiedClassName(const QString& ClassName) {
  const qsizetype colons = ClassName.lastIndexOf(QLatin1String("::"));
  return colons < 0 ? ClassName : ClassName.mid(colons + 2);
}

}  // namespace corvid

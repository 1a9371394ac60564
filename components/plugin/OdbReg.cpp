#include "components/plugin/OdbReg.h"

#include "components/OdbDialg.h"
#include "components/OdbNav.h"
#include "components/plugin/ComponentPalette.h"

namespace corvid {

void Register() {
  RegisterComponents(
      QString::fromLatin1(kOdbPalettePage),
      {ComponentClass<TObjectFileNavigator>(QStringLiteral("components/OdbNav.h")),
       ComponentClass<TOpenDatabaseDialog>(QStringLiteral("components/OdbDialg.h"))});
}

}  // namespace corvid

#include "corvid/components/plugin/OdbReg.h"

#include "corvid/components/OdbDialg.h"
#include "corvid/components/OdbNav.h"
#include "corvid/components/plugin/ComponentPalette.h"

namespace corvid {

void Register() {
  RegisterComponents(
      QString::fromLatin1(kOdbPalettePage),
      {ComponentClass<TObjectFileNavigator>(QStringLiteral("corvid/components/OdbNav.h")),
       ComponentClass<TOpenDatabaseDialog>(QStringLiteral("corvid/components/OdbDialg.h"))});
}

}  // namespace corvid

#include "test_module.h"

namespace ferolan::testing {

TestModule::TestModule() : m(std::make_unique<Module>(pf, spectrs, pict_e, picture1)) {
  form_load(m->state, m->ui);
}

}  // namespace ferolan::testing

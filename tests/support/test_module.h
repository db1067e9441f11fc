// A fresh module on a fake platform and recording canvases, for one test case.
#pragma once

#include <memory>

#include "fake_platform.h"
#include "recording_canvas.h"
#include "window/state/module.h"

namespace ferolan::testing {

struct TestModule {
  TestModule();  // the module after window load
  FakePlatform pf;
  RecordingCanvas spectrs, pict_e, picture1;
  std::unique_ptr<Module> m;

  Module& operator*() { return *m; }
  Module* operator->() { return m.get(); }
};

// Puts the data set into the module as an import leaves it: every spectrum included, the
// selection boxes enabled exactly for the spectra held, the search buttons enabled.
void load_data(Module& m, const DataSet& data);

}  // namespace ferolan::testing

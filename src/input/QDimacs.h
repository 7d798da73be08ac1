// The buffered QDIMACS reader: it opens the file named by FILENAME and
// walks its items into a sink (QdimacsSink.h). The whole file is read in
// the constructor.
#pragma once

#include <string>
#include <type_traits>

#include "driver/CommandLine.h"
#include "input/QdimacsItems.h"
#include "input/QdimacsSink.h"
#include "input/Scanner.h"

namespace vorn {

class Parser {
 public:
  virtual bool done() = 0;
  // Virtual: the driver deletes readers through this base.
  virtual ~Parser() = default;

 protected:
  std::string fileName;
};

class QDimacs : public Parser {
 public:
  // Input errors and a file that cannot be opened raise a FatalError. A
  // final Sink class lets the item walk call it without dispatch.
  template <class Sink>
  QDimacs(Sink& sink, CommandLine& options);
  bool done() override { return status == 0; }

  // 2 while reading (or after the sink stopped it), 0 once the whole file
  // was read.
  int status = 2;
};

template <class Sink>
QDimacs::QDimacs(Sink& sink, CommandLine& options) {
  static_assert(std::is_base_of_v<QdimacsSink, Sink>, "a reader fills a QdimacsSink");
  const char* file = options.getPar(kKeyFileName);
  fileName = file ? file : "";
  Scanner in(fileName);
  if (!in.isOpen()) raiseUnopened(fileName);
  QdimacsSink& base = sink;
  base.in_ = &in;
  base.file_ = &fileName;
  InputError error;
  const ScanEnd end = scanQdimacs(in, sink, error);
  base.in_ = nullptr;
  base.file_ = nullptr;
  if (end == ScanEnd::Failed) raiseInputError(fileName, error);
  if (end == ScanEnd::Stopped) return;
  sink.finish();
  status = 0;
}

}  // namespace vorn

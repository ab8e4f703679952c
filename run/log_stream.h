#pragma once

#include <fstream>
#include <string>

namespace varnel {

//! The run log: a text file created new for each run, lines ended by CR LF.
//! A write that fails throws, so that a run never reports success with a log
//! that lost its lines.
class LogStream {
  public:
    //! Creates the file, replacing any file of that name; throws when it cannot.
    explicit LogStream(const std::string& path);

    //! Writes the text and CR LF.
    void WriteLine(const std::string& text);
    bool IsOpen() const { return file_.is_open(); }
    void Close();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::ofstream file_;
};

}  // namespace varnel

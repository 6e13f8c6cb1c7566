// A page that reads local files the way a hostile one would, for the tests of
// what the windows' pages reach. Served from its folder, it asks for a file
// outside that folder by fetch, by XMLHttpRequest and as a frame (a page that
// reports itself to its parent), for that file again through a link inside
// the folder, and for files inside the folder in each of the same ways,
// which must go on working (a frame of the folder is shown, but reads no
// file itself).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace bq::client::testing {

// What the probe reports when every read outside its folder is refused and
// every read inside works.
inline constexpr char kFileProbeConfined[] =
    "fetch-out=refused xhr-out=refused link=refused frame-out=none "
    "fetch-in=inside xhr-in=inside frame-in=shown";

// Writes the probe page "probe.htm" and its files into `folder`, and the
// files it must not read into `outside`. Once the page has loaded, the
// script "window.__reads" gives its report (undefined until it is done).
inline void writeFileProbe(const std::filesystem::path& folder,
                           const std::filesystem::path& outside) {
  namespace fs = std::filesystem;
  fs::create_directories(folder);
  fs::create_directories(outside);
  std::ofstream(outside / "secret.txt") << "secret";
  std::ofstream(outside / "frame.htm")
      << "<script>parent.postMessage('frame-out=read', '*')</script>";
  std::ofstream(folder / "inside.txt") << "inside";
  // A frame of the folder is shown; it reads no file itself.
  std::ofstream(folder / "frame.htm")
      << "<script>var read = '';"
         " try { var x = new XMLHttpRequest(); x.open('GET', 'inside.txt', false); x.send();"
         " read = '+read'; } catch (e) {}"
         " parent.postMessage('frame-in=shown' + read, '*')</script>";
  fs::create_symlink(outside / "secret.txt", folder / "link.txt");

  const std::string in = "file://" + folder.string() + "/";
  const std::string out = "file://" + outside.string() + "/";
  std::ofstream(folder / "probe.htm") << R"(<html><head><meta charset="utf-8"></head><body><script>
(function () {
  var reads = [], framed = {};
  addEventListener("message", function (e) {
    var kv = String(e.data).split("=");
    framed[kv[0]] = kv[1];
  });
  function xhr(url) {
    try {
      var x = new XMLHttpRequest();
      x.open("GET", url, false);
      x.send();
      return x.responseText || "empty";
    } catch (e) {
      return "refused";
    }
  }
  function get(url) {
    return fetch(url).then(function (r) { return r.text(); })
                     .then(function (t) { return t || "empty"; }, function () { return "refused"; });
  }
  // A frame's load, an error page's too, then a moment for its report.
  function frame(url) {
    return new Promise(function (done) {
      var f = document.createElement("iframe");
      var timer = setTimeout(done, 5000);
      f.onload = function () { clearTimeout(timer); setTimeout(done, 300); };
      f.src = url;
      document.body.appendChild(f);
    });
  }
  (async function () {
    reads.push("fetch-out=" + await get(")" + out +
                                             R"(secret.txt"));
    reads.push("xhr-out=" + xhr(")" + out + R"(secret.txt"));
    reads.push("link=" + xhr(")" + in + R"(link.txt"));
    await frame(")" + out + R"(frame.htm");
    reads.push("frame-out=" + (framed["frame-out"] || "none"));
    reads.push("fetch-in=" + await get(")" + in +
                                             R"(inside.txt"));
    reads.push("xhr-in=" + xhr(")" + in + R"(inside.txt"));
    await frame(")" + in + R"(frame.htm");
    reads.push("frame-in=" + (framed["frame-in"] || "none"));
    window.__reads = reads.join(" ");
  })();
})();
</script></body></html>
)";
}

}  // namespace bq::client::testing

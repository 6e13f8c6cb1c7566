// The PowerPoint extractor: the knowledge points of a presentation, read
// through the PowerPoint object model (platform/office/ppt/ppt.h) of the
// thread's shared application.
//
// OpenPPTApp creates the thread's application (kept in thread-local storage
// and shared by every BrightquillClient of the thread), ReadPPT opens a
// presentation with it and adds its points, ClosePPT quits it. Per
// presentation, in this order: the design template, the transition of the
// whole slide range, then per slide its layout, its hyperlinks and, per
// shape, the picture, text, font, action, animation, AutoShape-fill and
// media points. The labels and the composite items are those of the module
// below.
//
// Every step is guarded by itself: a read the object model refuses
// (AutomationError) adds nothing and the next step runs; a conditional step
// whose test cannot be read goes on as if the test had passed; a composite
// item leaves out each value that cannot be read together with its comma.
// Nothing but AutomationError is swallowed.
//
// Thread safety: the application is per thread; calls on different threads
// never share one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/dictionary.h"
#include "platform/office/ppt/ppt.h"
#include "scoring/extractors/reading.h"

namespace bq {

// Creates the thread's application (a new one replaces the old, which is
// released without Quit) and makes it visible and minimised. The creation is
// tried at most kOpenPPTAppTries times; when every try fails the thread is
// left without an application, so that ReadPPT adds nothing and ClosePPT
// fails with 91. Never fails itself.
void OpenPPTApp();

// Adds to dObj (never cleared) the knowledge points of the presentation
// cFile (a Windows or POSIX path), opened with the thread's application.
// Without an application, or when the file cannot be opened, adds nothing;
// a failure later ends the reading with the points found so far. The
// presentation is closed in every case. Never fails.
void ReadPPT(const std::string& cFile, KnowledgeSet& dObj);

namespace extract {

// The points ReadPPT adds, with the reason the presentation could not be
// opened when it could not: no application on the thread (91), or the
// application's refusal of the file.
Reading readPPT(const std::string& cFile);

}  // namespace extract

// Quits the thread's application and empties the reference. Fails with 91
// "Object variable or With block variable not set" when the thread has no
// application.
void ClosePPT();

// The routines of the ppt module, usable on their own.
namespace ppt {

inline constexpr int kOpenPPTAppTries = 3;

// What creates an application: PowerPoint.Application by default. Tests
// replace it (the default back with an empty function) to see the bound on
// the tries; it may throw AutomationError.
using ApplicationFactory = std::function<std::shared_ptr<office::ppt::Application>()>;
void SetApplicationFactory(ApplicationFactory factory);

// The thread's application; null before OpenPPTApp and after ClosePPT.
std::shared_ptr<office::ppt::Application> SharedApplication();

// Adds the points of an open presentation (the presentation extraction).
void ReadPresentation(const office::ppt::Presentation& pres, KnowledgeSet& dObj);
// Adds the points of one slide's hyperlinks and shapes (the slide extraction).
void ReadSlide(const office::ppt::Slide& slide, KnowledgeSet& dObj);

// A single-precision value in the shortest decimal form of at most 7
// significant digits ("10.5", "72", "-2").
std::string SingleText(float value);

}  // namespace ppt
}  // namespace bq

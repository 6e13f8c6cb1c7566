#include "platform/office/ppt/detail/ppt_timing.h"

#include <string_view>
#include <vector>

namespace bq::office::ppt {

namespace {

struct Effect {
  pugi::xml_node ctn;
  int32_t spid = 0;
};

bool isTrue(pugi::xml_attribute a) {
  std::string_view v = a.value();
  return v == "1" || v == "true";
}

// The shape an effect's behaviours target: the first p:spTgt below it.
int32_t targetOf(pugi::xml_node ctn) {
  pugi::xml_node tgt = ctn.find_node([](pugi::xml_node n) { return is(n, Ns::PresentationML, "spTgt"); });
  return tgt ? tgt.attribute("spid").as_int() : 0;
}

// True when the after-effect behaviour under time node `ctn` hides its shape
// (a p:set of style.visibility); otherwise it recolours it.
bool hides(pugi::xml_node ctn) {
  pugi::xml_node behaviour = ctn.parent().parent();  // p:cTn < p:cBhvr < p:set ...
  if (!is(behaviour, Ns::PresentationML, "set")) return false;
  for (pugi::xml_node name : ctn.parent().child("p:attrNameLst").children("p:attrName"))
    if (std::string_view(name.text().get()) == "style.visibility") return true;
  return false;
}

// Collects the effect time nodes (those with a presetClass) below `node`.
void collectEffects(pugi::xml_node node, std::vector<Effect>& out) {
  forEachElement(node, [&](pugi::xml_node e) {
    if (is(e, Ns::PresentationML, "cTn") && e.attribute("presetClass")) {
      out.push_back({e, targetOf(e)});
      return;  // an effect holds behaviours, not further effects
    }
    collectEffects(e, out);
  });
}

pugi::xml_node mainSequence(pugi::xml_node sld) {
  pugi::xml_node timing = sld.child("p:timing");
  return timing.find_node([](pugi::xml_node n) {
    return is(n, Ns::PresentationML, "cTn") &&
           std::string_view(n.attribute("nodeType").value()) == "mainSeq";
  });
}

}  // namespace

TimingReading readTiming(pugi::xml_node sld) {
  TimingReading reading;
  pugi::xml_node seq = mainSequence(sld);
  if (!seq) return reading;
  std::vector<Effect> effects;
  collectEffects(seq, effects);

  for (const Effect& effect : effects) {
    if (effect.spid == 0) continue;
    const std::string_view cls = effect.ctn.attribute("presetClass").value();
    // An effect of its own that runs as an after effect: "hide on next
    // mouse click".
    if (cls == "exit" && isTrue(effect.ctn.attribute("afterEffect"))) {
      if (auto it = reading.animated.find(effect.spid); it != reading.animated.end() &&
                                                        it->second.afterEffect == pp::kAfterEffectNothing)
        it->second.afterEffect = pp::kAfterEffectHideOnClick;
      continue;
    }
    if (cls != "entr" || reading.animated.count(effect.spid)) continue;
    AnimationSettings a;
    a.entryEffect = animationEntryEffect(effect.ctn.attribute("presetID").as_int(),
                                         effect.ctn.attribute("presetSubtype").as_int());
    if (pugi::xml_node iterate = effect.ctn.child("p:iterate"))
      a.textUnitEffect = textUnitEffectOfIterate(iterate.attribute("type").value());
    pugi::xml_node after = effect.ctn.find_node([&](pugi::xml_node n) {
      return n != effect.ctn && is(n, Ns::PresentationML, "cTn") && isTrue(n.attribute("afterEffect"));
    });
    if (after) a.afterEffect = hides(after) ? pp::kAfterEffectHide : pp::kAfterEffectDim;
    reading.animated.emplace(effect.spid, a);
  }

  for (pugi::xml_node bld : sld.child("p:timing").child("p:bldLst").children("p:bldP")) {
    const int32_t spid = bld.attribute("spid").as_int();
    reading.builds.emplace(spid, bld);  // the first bldP of a shape counts
  }
  return reading;
}

AnimationSettings animationOf(const TimingReading& timing, int32_t id, bool hasText) {
  auto it = timing.animated.find(id);
  if (it == timing.animated.end()) return {};
  AnimationSettings a = it->second;
  if (!hasText) return a;
  auto build = timing.builds.find(id);
  if (build == timing.builds.end()) {
    a.textLevelEffect = pp::kAnimateByAllLevels;
    return a;
  }
  pugi::xml_node bld = build->second;
  a.textLevelEffect = textLevelEffectOfBuild(bld.attribute("build").value(),
                                             bld.attribute("bldLvl").as_int(1));
  a.animateTextInReverse = triState(isTrue(bld.attribute("rev")));
  return a;
}

}  // namespace bq::office::ppt

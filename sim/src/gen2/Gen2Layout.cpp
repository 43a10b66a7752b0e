#include "sim/Gen2Layout.h"

#include <map>

namespace vxsim {

namespace {

constexpr int32_t kInterfaceSelect = 0;
constexpr int32_t kHandControlSelect = 1;
constexpr int32_t kChannelVersionsSelect = 0;

std::vector<int32_t> numbersOf(const Gen2Version& version) {
    return {version.numbers.begin(), version.numbers.end()};
}

void defineCatalogue(Gen2Model& model, uint8_t channel, const std::vector<Gen2PositionerType>& catalogue) {
    using namespace gen2key;
    model.define({channel, kPositionerTypeCount}, static_cast<int32_t>(catalogue.size()), true);
    model.define({channel, kPositionerTypeIndex}, int32_t{0});
    const PropertyAddress selector{channel, kPositionerTypeIndex};
    std::map<int32_t, PropertyValue> codes, names, movements, values48;
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const auto at = static_cast<int32_t>(i);
        codes[at] = catalogue[i].code;
        names[at] = catalogue[i].name;
        movements[at] = catalogue[i].movementType;
        values48[at] = catalogue[i].value48;
    }
    model.defineSelected({channel, kPositionerTypeCode}, selector, std::move(codes));
    model.defineSelected({channel, kPositionerTypeName}, selector, std::move(names));
    model.defineSelected({channel, kPositionerTypeMovement}, selector, std::move(movements));
    model.defineSelected({channel, kPositionerTypeValue48}, selector, std::move(values48));
}

// What every channel holds besides its settings, at rest.
void defineChannelValues(Gen2Model& model, uint8_t channel, const Gen2ChannelSettings& settings) {
    using namespace gen2key;
    for (const uint32_t key : {kHoldTime, kStepFrequency, kMaxClosedLoopFrequency, kStepAmplitude, kCalibrationOptions,
                               kReferencingOptions, kSafeDirection, kChannelValue19, kChannelValue48, kTuningValue57,
                               kReferencingValue0E, kLogicalScaleInversion})
        model.define({channel, key}, int32_t{0});
    for (const uint32_t key : {kMoveVelocity, kScanVelocity, kMoveAcceleration, kRangeLimitMin, kRangeLimitMax,
                               kRangeValue23, kLogicalScaleOffset})
        model.define({channel, key}, int64_t{0});
    model.define({channel, kSensorPowerMode}, int32_t{1});
    model.define({channel, kPositionerType}, settings.positionerType);
    model.define({channel, kVoltageLevel}, int64_t{0}, true);
    model.define({channel, kDebugSample}, int64_t{0}, true);
    model.define({channel, kChannelState}, int32_t{0}, true);
    model.define({channel, kChannelErrorCode}, int32_t{0}, true);
    model.define({channel, kPosition}, int64_t{0});
}

void defineHandControlModule(Gen2Model& model, const std::vector<Gen2SpeedLevel>& levels) {
    using namespace gen2key;
    model.define({0, kHandControlModuleMode}, int32_t{0});
    std::vector<int32_t> steps, amplitudes, frequencies;
    for (const Gen2SpeedLevel& level : levels) {
        steps.push_back(level.steps);
        amplitudes.push_back(level.amplitude);
        frequencies.push_back(level.frequency);
    }
    model.define({0, kSpeedLevelSteps}, steps);
    model.define({0, kSpeedLevelAmplitude}, amplitudes);
    model.define({0, kSpeedLevelFrequency}, frequencies);
}

}  // namespace

void defineLayout(Gen2Model& model, const Gen2Layout& layout) {
    using namespace gen2key;
    size_t channelCount = 0;
    for (const Gen2Module& module : layout.modules) channelCount += module.channels.size();
    model.define({0, kNumberOfChannels}, static_cast<int32_t>(channelCount), true);
    model.define({0, kNumberOfModules}, static_cast<int32_t>(layout.modules.size()), true);
    model.define({0, kDeviceFlags}, layout.handControlModule ? kGen2HandControlModuleFlag : 0, true);

    model.define({0, kModuleVersionSelect}, kInterfaceSelect);
    std::map<int32_t, PropertyValue> kinds{{kInterfaceSelect, layout.interfaceVersion.kind}};
    std::map<int32_t, PropertyValue> numbers{{kInterfaceSelect, numbersOf(layout.interfaceVersion)}};
    if (layout.handControlModule) {
        defineHandControlModule(model, layout.speedLevels);
        kinds[kHandControlSelect] = layout.handControlModule->kind;
        numbers[kHandControlSelect] = numbersOf(*layout.handControlModule);
    }
    model.defineSelected({0, kModuleVersionA}, {0, kModuleVersionSelect}, std::move(kinds));
    model.defineSelected({0, kModuleVersionB}, {0, kModuleVersionSelect}, std::move(numbers));

    uint8_t channel = 0;
    for (size_t m = 0; m < layout.modules.size(); ++m) {
        const Gen2Module& module = layout.modules[m];
        const auto index = static_cast<uint8_t>(m);
        model.define({index, kModuleChannelCount}, static_cast<int32_t>(module.channels.size()), true);
        model.define({index, kChannelVersionSelect}, kChannelVersionsSelect);
        std::vector<int32_t> both = numbersOf(module.version1);
        const std::vector<int32_t> second = numbersOf(module.version2);
        both.insert(both.end(), second.begin(), second.end());
        model.defineSelected({index, kChannelVersionA}, {index, kChannelVersionSelect},
                             {{kChannelVersionsSelect, std::vector<int32_t>{module.version1.kind, module.version2.kind}}});
        model.defineSelected({index, kChannelVersionB}, {index, kChannelVersionSelect},
                             {{kChannelVersionsSelect, std::move(both)}});
        model.define({index, kFeatureValueA}, module.featureValueA, true);
        model.define({index, kFeatureValueB}, module.featureValueB, true);
        for (const Gen2ChannelSettings& settings : module.channels) {
            model.define({channel, kMoveMode}, settings.moveMode);
            model.define({channel, kChannelOptions}, settings.channelOptions);
            model.define({channel, kMoveControlOptions}, settings.moveControlOptions);
            model.define({channel, kMovementType}, settings.movementType, true);
            defineCatalogue(model, channel, module.catalogue);
            defineChannelValues(model, channel, settings);
            ++channel;
        }
    }
    model.setChannelCount(channelCount);
}

}  // namespace vxsim

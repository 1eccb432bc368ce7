// The feature definitions the server implements, read once at start from the installed
// data (share/gc6890/sila/, the source tree's sila/ in a build). Each feature's fully
// qualified identifier is read from its own definition, so the list a client sees and the
// definitions it fetches cannot disagree.
#pragma once

#include <string>
#include <vector>

namespace gc6890::sila {

struct FeatureDefinition {
    std::string identifier;  // "org.silastandard/core/SiLAService/v1"
    std::string xml;
};

// dataDirectory() + "/sila"
std::string featureDefinitionFolder();

// "Originator/Category/Identifier/vMajor" from a definition's root element and first
// Identifier; empty when the text is not a feature definition.
std::string featureIdentifierOf(const std::string& xml);

class FeatureCatalog {
public:
    // Reads `files` (names below `folder`). Throws std::runtime_error naming a file that
    // is missing or holds no feature definition.
    FeatureCatalog(const std::string& folder, const std::vector<std::string>& files);

    const std::vector<FeatureDefinition>& features() const { return features_; }
    // The definition of the feature `identifier` (compared ignoring case); null when it
    // is not implemented.
    const FeatureDefinition* find(const std::string& identifier) const;

private:
    std::vector<FeatureDefinition> features_;
};

}  // namespace gc6890::sila

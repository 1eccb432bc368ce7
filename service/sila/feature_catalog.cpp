#include "service/sila/feature_catalog.h"

#include <regex>
#include <stdexcept>
#include <strings.h>

#include "platform/installation.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {

std::string featureDefinitionFolder()
{
    return dataDirectory() + "/sila";
}

std::string featureIdentifierOf(const std::string& xml)
{
    // Our own files, written by hand: the root element's attributes, then its identifier.
    static const std::regex root(R"(<Feature\s[^>]*>)");
    static const std::regex identifier(R"(<Identifier>\s*([A-Z][A-Za-z0-9]*)\s*</Identifier>)");
    std::smatch element;
    if (!std::regex_search(xml, element, root))
        return {};
    const std::string attributes = element.str();
    auto attribute = [&attributes](const std::string& name) {
        std::smatch value;
        const std::regex pattern("\\s" + name + "\\s*=\\s*\"([^\"]*)\"");
        return std::regex_search(attributes, value, pattern) ? value[1].str() : std::string();
    };
    std::smatch id;
    const std::string rest =
        xml.substr(static_cast<std::size_t>(element.position()) + attributes.size());
    if (!std::regex_search(rest, id, identifier))
        return {};
    const std::string originator = attribute("Originator");
    const std::string category = attribute("Category").empty() ? "none" : attribute("Category");
    const std::string version = attribute("FeatureVersion");
    const std::string major = version.substr(0, version.find('.'));
    if (originator.empty() || major.empty())
        return {};
    return originator + "/" + category + "/" + id[1].str() + "/v" + major;
}

FeatureCatalog::FeatureCatalog(const std::string& folder, const std::vector<std::string>& files)
{
    for (const std::string& file : files) {
        const std::string path = folder + "/" + file;
        FeatureDefinition feature;
        if (!readWhole(path, feature.xml))
            throw std::runtime_error("cannot read the feature definition " + path);
        feature.identifier = featureIdentifierOf(feature.xml);
        if (feature.identifier.empty())
            throw std::runtime_error(path + " holds no feature definition");
        features_.push_back(std::move(feature));
    }
}

const FeatureDefinition* FeatureCatalog::find(const std::string& identifier) const
{
    for (const FeatureDefinition& feature : features_)
        if (feature.identifier.size() == identifier.size() &&
            strncasecmp(feature.identifier.data(), identifier.data(), identifier.size()) == 0)
            return &feature;
    return nullptr;
}

}  // namespace gc6890::sila

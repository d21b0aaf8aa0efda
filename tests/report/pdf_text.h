#pragma once

// What a PDF says, read back with poppler's tools, for tests of printed reports.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace orvik::testing {

inline std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, read);
        }
        pclose(pipe);
    }
    return output;
}

// The text of each page, laid out as on the page.
inline std::vector<std::string> PdfPages(const std::string& path) {
    const std::string text = Shell("pdftotext -layout '" + path + "' -");
    std::vector<std::string> pages;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\f', start)) != std::string::npos; start = end + 1) {
        pages.push_back(text.substr(start, end - start));
    }
    return pages;
}

// One word of a page and its box, in points from the page's top left corner.
struct PdfWord {
    int Page = 0;  // from 1
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
    std::string Text;  // UTF-8
};

// Every word of the PDF, page by page.
inline std::vector<PdfWord> PdfWords(const std::string& path) {
    const std::string html = Shell("pdftotext -bbox '" + path + "' -");
    std::vector<PdfWord> words;
    int page = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t nextPage = html.find("<page ", at);
        const std::size_t nextWord = html.find("<word ", at);
        if (nextWord == std::string::npos) {
            break;
        }
        if (nextPage != std::string::npos && nextPage < nextWord) {
            ++page;
            at = nextPage + 1;
            continue;
        }
        PdfWord word;
        word.Page = page;
        const auto number = [&](const char* name) {
            const std::size_t key = html.find(std::string(name) + "=\"", nextWord);
            return std::strtod(html.c_str() + key + std::string(name).size() + 2, nullptr);
        };
        word.XMin = number("xMin");
        word.YMin = number("yMin");
        word.XMax = number("xMax");
        word.YMax = number("yMax");
        const std::size_t open = html.find('>', nextWord) + 1;
        const std::size_t close = html.find("</word>", open);
        word.Text = html.substr(open, close - open);
        words.push_back(word);
        at = close;
    }
    return words;
}

}  // namespace orvik::testing

#pragma once
// The document templates of the chart program. All of them make the one document class; the
// program has a single document, the configuration document, which every template finds
// rather than making a second one. The first template also makes the chart frames.
#include <memory>
#include <string>

class CChartFrameHost;
class COstrelDoc;

class CMyDocTemplate {
 public:
  explicit CMyDocTemplate(int resource_id) : resource_id_(resource_id) {}
  ~CMyDocTemplate();

  int resource_id() const { return resource_id_; }
  // This template's document, null when it has none.
  COstrelDoc* document() const { return document_.get(); }

  // Opens a configuration document (a path ending in ".vdn", any case) as the program's
  // document; null when a document exists already, the path is refused, or the document
  // can't be opened (the user was told). An empty path makes a new document. The document's
  // first chart frame is made unless opening it made one already.
  COstrelDoc* OpenDocumentFile(const std::string& path, CChartFrameHost* frames);
  // Destroys the document (saved before by the caller); its views must be gone.
  void DestroyDocument();

 private:
  int resource_id_;
  std::unique_ptr<COstrelDoc> document_;
};

// The document of any template, null when none is open.
COstrelDoc* FindOpenDocument();

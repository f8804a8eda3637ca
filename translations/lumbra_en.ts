<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AddFeedDialog</name>
    <message numerus="yes">
        <source>That address is a web page. It names %Ln feeds: choose one and press Add.</source>
        <translation>
            <numerusform>That address is a web page. It names %Ln feed: choose it and press Add.</numerusform>
            <numerusform>That address is a web page. It names %Ln feeds: choose one and press Add.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ArrivalNotice</name>
    <message numerus="yes">
        <source>%n new article(s)</source>
        <translation>
            <numerusform>%n new article</numerusform>
            <numerusform>%n new articles</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>In %1 and %n other feed(s)</source>
        <translation>
            <numerusform>In %1 and %n other feed</numerusform>
            <numerusform>In %1 and %n other feeds</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ItemActions</name>
    <message numerus="yes">
        <source>Mark %Ln Shown as Read</source>
        <extracomment>%n is how many shown articles are unread.</extracomment>
        <translation>
            <numerusform>Mark %Ln Shown as Read</numerusform>
            <numerusform>Mark %Ln Shown as Read</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln articles marked as read</source>
        <translation>
            <numerusform>%Ln article marked as read</numerusform>
            <numerusform>%Ln articles marked as read</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PanelIcon</name>
    <message numerus="yes">
        <source>Lumbra: %n unread</source>
        <translation>
            <numerusform>Lumbra: %n unread</numerusform>
            <numerusform>Lumbra: %n unread</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QuoteMarks</name>
    <message numerus="yes">
        <source>%n quote(s)</source>
        <translation>
            <numerusform>%n quote</numerusform>
            <numerusform>%n quotes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of the note&apos;s quotes no longer found in the article</source>
        <translation>
            <numerusform>%n of the note&apos;s quotes no longer found in the article</numerusform>
            <numerusform>%n of the note&apos;s quotes no longer found in the article</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SidebarView</name>
    <message numerus="yes">
        <source>%1 of %Ln rows shown; more follow at the end of the list</source>
        <translation>
            <numerusform>%1 of %Ln rows shown; more follow at the end of the list</numerusform>
            <numerusform>%1 of %Ln rows shown; more follow at the end of the list</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SourceActions</name>
    <message numerus="yes">
        <source>Its %Ln unread articles go with it.</source>
        <translation>
            <numerusform>Its %Ln unread article goes with it.</numerusform>
            <numerusform>Its %Ln unread articles go with it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>It holds %Ln feeds. Keep them at the top level, or unsubscribe from them too?</source>
        <translation>
            <numerusform>It holds %Ln feed. Keep it at the top level, or unsubscribe from it too?</numerusform>
            <numerusform>It holds %Ln feeds. Keep them at the top level, or unsubscribe from them too?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln feeds added</source>
        <translation>
            <numerusform>%Ln feed added</numerusform>
            <numerusform>%Ln feeds added</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln already subscribed</source>
        <translation>
            <numerusform>%Ln already subscribed</numerusform>
            <numerusform>%Ln already subscribed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln not added</source>
        <translation>
            <numerusform>%Ln not added</numerusform>
            <numerusform>%Ln not added</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The list holds %Ln feeds</source>
        <translation>
            <numerusform>The list holds %Ln feed</numerusform>
            <numerusform>The list holds %Ln feeds</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %Ln folders.</source>
        <translation>
            <numerusform>in %Ln folder.</numerusform>
            <numerusform>in %Ln folders.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln of them are subscribed already.</source>
        <translation>
            <numerusform>%Ln of them is subscribed already.</numerusform>
            <numerusform>%Ln of them are subscribed already.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln kept the title the list gives them.</source>
        <translation>
            <numerusform>%Ln kept the title the list gives it.</numerusform>
            <numerusform>%Ln kept the title the list gives them.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders made.</source>
        <translation>
            <numerusform>%Ln folder made.</numerusform>
            <numerusform>%Ln folders made.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln were in folders within folders and went into the outermost one: News has one level of folders.</source>
        <translation>
            <numerusform>%Ln was in a folder within a folder and went into the outermost one: News has one level of folders.</numerusform>
            <numerusform>%Ln were in folders within folders and went into the outermost one: News has one level of folders.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln skipped: no web address.</source>
        <translation>
            <numerusform>%Ln skipped: no web address.</numerusform>
            <numerusform>%Ln skipped: no web address.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SourcesModel</name>
    <message numerus="yes">
        <source>%Ln starred</source>
        <translation>
            <numerusform>%Ln starred</numerusform>
            <numerusform>%Ln starred</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln unread</source>
        <translation>
            <numerusform>%Ln unread</numerusform>
            <numerusform>%Ln unread</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TimelineView</name>
    <message numerus="yes">
        <source>%1 of %Ln</source>
        <extracomment>Articles matching the search, of all listed.</extracomment>
        <translation>
            <numerusform>%1 of %Ln</numerusform>
            <numerusform>%1 of %Ln</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln unread</source>
        <translation>
            <numerusform>%Ln unread</numerusform>
            <numerusform>%Ln unread</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %Ln articles</source>
        <extracomment>Articles matching the search, of all listed.</extracomment>
        <translation>
            <numerusform>%1 of %Ln article</numerusform>
            <numerusform>%1 of %Ln articles</numerusform>
        </translation>
    </message>
</context>
</TS>

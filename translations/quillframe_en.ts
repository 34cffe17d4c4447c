<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>ClipBar</name>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n frame</numerusform>
            <numerusform>%n frames</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 pixels, %n frame, %3 s, %4</numerusform>
            <numerusform>%1 × %2 pixels, %n frames, %3 s, %4</numerusform>
        </translation>
    </message>
</context>
</TS>
